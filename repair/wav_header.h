#pragma once
// WAV output of the recovered audio: the header is written with size placeholders before the
// scan and completed with the real sizes after it; big-endian PCM is swapped on the way.
#include <cstdint>
#include <vector>

class OutputFile;

enum class WavKind { None, Pcm, ImaAdpcm };

// The format a header was written with; kind None means no WAV header was started, and then
// nothing may be completed (the output may hold another codec's stream).
struct WavFormat {
    WavKind kind = WavKind::None;
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    int blockAlign = 0;
};

constexpr std::size_t kPcmWavHeaderSize = 44;
constexpr std::size_t kAdpcmWavHeaderSize = 60;

// IMA ADPCM samples per channel in one block of `blockAlign` bytes: a 4-byte preamble per channel
// holding the first sample, then two samples per byte. 0 when the block cannot hold that.
int imaAdpcmSamplesPerBlock(int blockAlign, int channels);

// Whether the header can state `format`: every field within what audio formats have
// (audio_limits.h), so that the byte rate and block align are computed without overflow.
bool isWritableFormat(const WavFormat& format);

// The header bytes for `format`; with `completed` false the size fields hold the placeholders
// (a header never completed still reads as a WAV file of nearly 2 GiB). Size fields are clamped
// at 0xFFFFFFFF. Empty for kind None and for a format that is not writable.
std::vector<std::uint8_t> wavHeaderBytes(const WavFormat& format, bool completed, std::uint64_t dataBytes);

// Write the placeholder header at the current position and fill `written` with its format.
// `bitsPerSample` of the ADPCM header is not used (IMA ADPCM is 4 bits). False, `written` then
// of kind None, when the write failed or the format is not writable (nothing is written then).
bool writeWavHeaderAdpcm(OutputFile& out, int bitsPerSample, int channels, int sampleRate, int blockAlign,
                         WavFormat& written);
bool writeWavHeaderPcm(OutputFile& out, int bitsPerSample, int channels, int sampleRate, WavFormat& written);

// Rewrite the header at the start of `out` with the sizes for `dataBytes`, in the format it was
// started with. False, touching nothing, when `written` is not of the function's kind (the
// output was not started as such a WAV file); false when the write failed.
bool finishWavHeaderAdpcm(OutputFile& out, const WavFormat& written, std::uint64_t dataBytes);
bool finishWavHeaderPcm(OutputFile& out, const WavFormat& written, std::uint64_t dataBytes);

// Reverses the byte order of each whole 2-, 3- or 4-byte sample in place; other depths and a
// trailing part sample are left as they are.
void swapPcmSamples(int bitsPerSample, std::int64_t length, std::uint8_t* bytes);
