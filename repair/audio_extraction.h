#pragma once
// Deciding whether a junk run (the bytes the scan did not take as video) is audio, and appending
// it to the audio output when it is.
#include <array>
#include <cstdint>
#include <limits>

#include "reference/records.h"
#include "repair/packet_list.h"
#include "repair/run_formats.h"

class OutputFile;

// Longest run taken as audio.
constexpr std::int64_t kMaxAudioRun = 0x2FFFFF;

// The scan's audio bookkeeping that the extraction updates; one per run.
struct AudioRunBook {
    std::int64_t chunkSampleCount = 0;  // PCM sample size x samples per chunk; 0 for compressed audio
    std::int32_t chunkByteCount = 0;    // expected length of a PCM run
    std::int32_t samplesPerChunk = 0;   // the audio track's pcmSamplesPerChunk, as adjusted by run sizes
    std::int32_t smallestRun = std::numeric_limits<std::int32_t>::max();
    std::int32_t largestRun = 0;
    std::int32_t runCount = 0;
    std::int64_t audioTotal = 0;        // bytes written to the audio output
    std::int64_t droppedBytes = 0;      // bytes of dropped runs longer than 16
    std::int64_t handedTotal = 0;       // bytes of every run handed over and decided
    bool dataEnded = false;             // set by the scan before it hands over the run the end of the data cut
    // Runs written as audio by the power of two of their length: what a usual run of the stream is.
    std::array<std::uint32_t, 24> runsByLength{};
};

// The longest a run of the stream's sound usually is, with room: twice the chunk for
// uncompressed audio, else twice the length that nine in ten of the runs kept so far stay under,
// and never below kLeastSoundRunBound. A stretch of one value longer than this is no sound, and
// junk longer than this lies between the pictures where the stream's sync was lost.
std::int64_t soundRunBound(const AudioRunBook& book);
constexpr std::int64_t kLeastSoundRunBound = 4 * 1024;

// Whether the `length` bytes at `run` (`available` readable) can be a run of the stream's sound:
// whole sample frames or blocks for uncompressed audio, a run opening like a raw frame for AAC,
// and never longer than the stream's runs.
bool plausibleSoundRun(const MediaInfo& media, const RunFormats& formats, const AudioRunBook& book,
                       const std::uint8_t* run, std::int64_t available, std::int64_t length);

enum class AudioRunOutcome {
    Kept,        // not decided (no first packet yet, or empty): the run stays and grows
    Audio,       // written to the audio output
    Skipped,     // dropped as not audio
    AvcHeader,   // dropped as an AVC header packet, without a label
    WriteFailed  // taken as audio but the output refused it; not counted
};

// Bytes of the smallest whole piece of uncompressed audio: an IMA ADPCM block, a QuickTime IMA
// ADPCM packet (a block of every channel) or a PCM sample frame; 0 when the format does not say.
std::int64_t audioUnit(const MediaInfo& media, AudioCoding coding);

// Decides the junk run `run` of `length` bytes. Every outcome but Kept means the caller empties
// the run. Big-endian PCM is swapped in place before it is written. `audioOut` is null when
// there is no audio output; `audioTrack` is the audio track's index or -1; `formats` are the
// run's codecs.
// Beyond the exact chunk length, uncompressed audio runs of whole samples within a factor of two
// of the chunk count as audio; a video unit that the scan refused only for its size and that
// ends the run is cut off; the encoder's name frame is audio; an AAC run that does not open like a
// raw frame holds none and is dropped. QuickTime IMA ADPCM runs are audio only as whole packets.
AudioRunOutcome extractAudioRun(const AnalysisResult& analysis, const MediaInfo& media, const RunFormats& formats,
                                std::uint8_t* run,
                                std::int64_t length, OutputFile* audioOut, bool firstPacket, int audioTrack,
                                AudioRunBook& book, PacketList& packets);
