#include "tools/brannoc/adts_reframer.h"

#include <sys/stat.h>

#include <vector>

#include "tools/brannoc/frame_walk.h"
#include "tools/brannoc/input_window.h"

namespace brannoc {

bool parseAdtsHeader(const std::uint8_t* b, std::size_t length, AdtsConfig& config) {
    if (length < 7) return false;
    if (b[0] != 0xFF || (b[1] & 0xF6) != 0xF0) return false;  // sync word, layer 0
    const int profile = b[2] >> 6;
    const int frequencyIndex = (b[2] >> 2) & 0x0F;
    const int channels = ((b[2] & 0x01) << 2) | (b[3] >> 6);
    if (profile == 3 || frequencyIndex > 12 || channels == 0) return false;
    config.objectType = profile + 1;
    config.frequencyIndex = frequencyIndex;
    config.channels = channels;
    return true;
}

void writeAdtsHeader(const AdtsConfig& config, std::size_t frameLength, std::uint8_t out[7]) {
    const std::size_t total = frameLength + 7;
    const int lcProfile = 1;  // object type 2 - 1
    out[0] = 0xFF;
    out[1] = 0xF1;  // MPEG-4, layer 0, no CRC
    out[2] = static_cast<std::uint8_t>((lcProfile << 6) | (config.frequencyIndex << 2) | ((config.channels >> 2) & 1));
    out[3] = static_cast<std::uint8_t>(((config.channels & 3) << 6) | ((total >> 11) & 0x03));
    out[4] = static_cast<std::uint8_t>((total >> 3) & 0xFF);
    out[5] = static_cast<std::uint8_t>(((total & 0x07) << 5) | 0x1F);  // buffer fullness 0x7FF: variable rate
    out[6] = 0xFC;
}

ReframeResult reframe(std::FILE* input, std::uint64_t inputSize, std::FILE* output, ReframeStats& stats,
                      const std::function<void(double)>& progress, const ReframeOptions& options) {
    const int fd = fileno(input);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return ReframeResult::ReadError;
    InputWindow window(fd, static_cast<std::uint64_t>(info.st_size));

    std::uint64_t consumed = 0;  // input bytes the walk has passed
    int lastPercent = -1;
    auto advance = [&](std::uint64_t n) {
        consumed += n;
        if (inputSize > 0) {
            const double percent = 100.0 * static_cast<double>(consumed) / static_cast<double>(inputSize);
            if (static_cast<int>(percent) > lastPercent) {
                lastPercent = static_cast<int>(percent);
                progress(percent);
            }
        }
    };

    std::uint8_t* bytes = nullptr;
    std::size_t available = 0;
    if (!window.at(0, 7, bytes, available)) return ReframeResult::ReadError;
    AdtsConfig config;
    if (!parseAdtsHeader(bytes, available, config)) return ReframeResult::NoHeader;
    advance(7);

    const WalkResult walk = walkFrames(fd, window.size(), 7, config, options.threads, options.minPiece);
    if (walk.readError) return ReframeResult::ReadError;
    if (walk.decoderError) return ReframeResult::DecoderError;

    // Skipped bytes advance one at a time, as the walk passed them, so the progress lines are the
    // serial walk's whatever the split.
    std::uint64_t at = 7;
    auto skipTo = [&](std::uint64_t position) {
        for (; at < position; ++at) {
            ++stats.skippedBytes;
            advance(1);
        }
    };
    for (const FoundFrame& frame : walk.frames) {
        skipTo(frame.at);
        if (!window.at(frame.at, frame.length, bytes, available) || available < frame.length)
            return ReframeResult::ReadError;
        std::uint8_t header[7];
        writeAdtsHeader(config, frame.length, header);
        if (std::fwrite(header, 1, sizeof header, output) != sizeof header ||
            std::fwrite(bytes, 1, frame.length, output) != frame.length)
            return ReframeResult::WriteError;
        ++stats.frames;
        stats.frameBytes += frame.length;
        advance(frame.length);
        at = frame.at + frame.length;
    }
    skipTo(window.size());
    if (std::fflush(output) != 0) return ReframeResult::WriteError;
    const std::uint64_t behindHeader = stats.frameBytes + stats.skippedBytes;
    if (stats.frames == 0 || static_cast<double>(stats.frameBytes) < kMinFrameShare * static_cast<double>(behindHeader))
        return ReframeResult::NoFrames;
    return ReframeResult::Ok;
}

}  // namespace brannoc
