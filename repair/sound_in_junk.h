#pragma once
// A junk run longer than the stream's sound runs holds junk (another file's bytes left in the
// card's free space, a damaged stretch) beside the sound of one chunk, which stands at the run's
// start (the junk came after it) or at its end (the junk came before it). These find that sound,
// so that only it is handed to the audio: for AAC the frames that follow one another from the
// run's start, or that end exactly at its end; for PCM a chunk at either end whose samples change
// the way sound does, which the bytes of another file do not; for QuickTime IMA ADPCM a chunk at
// either end whose blocks all open with a step index the format has.
#include <cstdint>
#include <vector>

#include "reference/records.h"
#include "repair/audio_extraction.h"
#include "repair/run_formats.h"

namespace aac {
class FrameProbe;
}

struct SoundPart {
    std::int64_t begin = 0;
    std::int64_t end = 0;
};

// The parts of the `length` bytes at `run` that are sound, in order; none when neither end is,
// the whole run for sound that cannot be told from junk. `probe` tells AAC frames (null for
// other sound).
std::vector<SoundPart> soundInLongRun(std::uint8_t* run, std::int64_t length, const RunFormats& formats,
                                      const MediaInfo& media, const AudioRunBook& book, aac::FrameProbe* probe);

// Whether `length` bytes of PCM at `bytes` change from sample to sample the way sound does: the
// steps between neighbouring samples of a channel are small against the samples themselves
// (silence counts as sound). Random bytes step as far as they reach.
bool changesLikeSound(const std::uint8_t* bytes, std::int64_t length, int bitsPerSample, int channels,
                      bool bigEndian);
