#include "repair/sound_in_junk.h"

#include <algorithm>
#include <cstdlib>

#include "media/aac_frame_probe.h"
#include "media/aac_frame_start.h"
#include "repair/qt_ima_format.h"

namespace {

// Samples looked at to judge a chunk.
constexpr std::int64_t kJudgedSamples = 4096;
// Steps between neighbouring samples of sound stay well below the samples themselves; those of
// uniformly random values average 4/3 of them.
constexpr double kMostStepShare = 1.0;

// The end of the frames that follow one another from `at`, or `at` when none starts there.
std::int64_t chainEnd(aac::FrameProbe& probe, std::uint8_t* run, std::int64_t length, std::int64_t at) {
    while (at < length) {
        const std::size_t frame = probe.frameAt(run + at, std::size_t(length - at));
        if (frame == 0) break;
        at += std::int64_t(frame);
    }
    return at;
}

std::vector<SoundPart> aacSound(std::uint8_t* run, std::int64_t length, std::int64_t bound, aac::FrameProbe& probe,
                                const mp4::ChannelElement& first) {
    const std::int64_t head = chainEnd(probe, run, length, 0);
    if (head > 0) return {SoundPart{0, head}};
    for (std::int64_t at = std::max<std::int64_t>(1, length - bound); at < length; ++at) {
        if (!opensWithChannelElement(run + at, std::size_t(length - at), first)) continue;
        if (chainEnd(probe, run, length, at) == length) return {SoundPart{at, length}};
    }
    return {};
}

std::int32_t sampleAt(const std::uint8_t* b, int bytes, bool bigEndian) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= std::uint32_t(b[bigEndian ? bytes - 1 - i : i]) << (8 * i);
    const int shift = 32 - 8 * bytes;
    return std::int32_t(value << shift) >> shift;
}

}  // namespace

bool changesLikeSound(const std::uint8_t* bytes, std::int64_t length, int bitsPerSample, int channels,
                      bool bigEndian) {
    const int width = bitsPerSample / 8;
    if (width < 2 || width > 4 || bitsPerSample % 8 != 0 || channels < 1) return true;
    const std::int64_t frame = std::int64_t(width) * channels;
    const std::int64_t frames = std::min<std::int64_t>(length / frame, kJudgedSamples / channels);
    double steps = 0, levels = 0;
    for (std::int64_t f = 1; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const std::uint8_t* here = bytes + f * frame + c * width;
            const double value = sampleAt(here, width, bigEndian);
            levels += std::abs(value);
            steps += std::abs(value - sampleAt(here - frame, width, bigEndian));
        }
    }
    return levels == 0 || steps <= kMostStepShare * levels;
}

std::vector<SoundPart> soundInLongRun(std::uint8_t* run, std::int64_t length, const RunFormats& formats,
                                      const MediaInfo& media, const AudioRunBook& book, aac::FrameProbe* probe) {
    if (formats.aacFirstElement && probe) return aacSound(run, length, soundRunBound(book), *probe, *formats.aacFirstElement);
    const std::int64_t chunk = book.chunkByteCount;
    const bool pcm = formats.audio == AudioCoding::Pcm;
    if ((!pcm && formats.audio != AudioCoding::ImaAdpcmQt) || chunk <= 0) return {SoundPart{0, length}};
    if (chunk > length) return {};
    auto sound = [&](const std::uint8_t* bytes) {
        return pcm ? changesLikeSound(bytes, chunk, media.bitsPerSample, media.channels, media.bigEndian == 1)
                   : qtImaStepIndicesValid(bytes, chunk, media.channels);
    };
    std::vector<SoundPart> parts;
    if (sound(run)) parts.push_back({0, chunk});
    const std::int64_t tail = length - chunk;
    if (tail >= chunk && sound(run + tail)) parts.push_back({tail, length});
    return parts;
}
