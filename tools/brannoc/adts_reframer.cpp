#include "tools/brannoc/adts_reframer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "media/aac_frame_probe.h"
#include "tools/brannoc/frame_walk.h"
#include "tools/brannoc/input_window.h"

namespace brannoc {

namespace {

// The share of the input consumed, reported whenever its whole-percent value grows.
class ProgressReport {
public:
    ProgressReport(std::uint64_t inputSize, const std::function<void(double)>& progress)
        : size_(inputSize), progress_(progress) {}

    // `n` bytes consumed at once (a header, a frame).
    void advance(std::uint64_t n) {
        consumed_ += n;
        report();
    }
    // `n` bytes passed one at a time: the report comes at the byte where the percentage grows,
    // without a step per byte.
    void pass(std::uint64_t n) {
        while (n > 0) {
            const std::uint64_t step = std::min(n, std::max<std::uint64_t>(1, nextReportAt() - consumed_));
            advance(step);
            n -= step;
        }
    }

private:
    double percentAt(std::uint64_t consumed) const {
        return 100.0 * static_cast<double>(consumed) / static_cast<double>(size_);
    }
    void report() {
        if (size_ == 0) return;
        const double percent = percentAt(consumed_);
        if (static_cast<int>(percent) > lastPercent_) {
            lastPercent_ = static_cast<int>(percent);
            progress_(percent);
        }
    }
    // The least count of consumed bytes whose whole percentage is above the last reported one.
    std::uint64_t nextReportAt() const {
        if (size_ == 0) return UINT64_MAX;
        const int want = lastPercent_ + 1;
        auto reaches = [&](std::uint64_t c) { return static_cast<int>(percentAt(c)) >= want; };
        auto at = static_cast<std::uint64_t>(std::ceil(static_cast<double>(want) * static_cast<double>(size_) / 100.0));
        while (at > 0 && reaches(at - 1)) --at;
        while (!reaches(at)) ++at;
        return at;
    }

    std::uint64_t size_;
    const std::function<void(double)>& progress_;
    std::uint64_t consumed_ = 0;
    int lastPercent_ = -1;
};

// The most frames that stand back to back in the walk's result.
std::uint64_t longestChain(const std::vector<FoundFrame>& frames) {
    std::uint64_t longest = 0, chain = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const bool joined = i > 0 && frames[i - 1].at + frames[i - 1].length == frames[i].at;
        chain = joined ? chain + 1 : 1;
        longest = std::max(longest, chain);
    }
    return longest;
}

// Real frames come back to back wherever the recording wrote more than one in a row; frames that
// decode by chance in junk or under the wrong configuration stand alone. Either a chain or a
// fair share of the bytes makes the frames the recording's sound.
bool holdsTheSound(const ReframeStats& stats, std::uint64_t chain) {
    if (stats.frames == 0) return false;
    if (chain >= kLeastChain) return true;
    const std::uint64_t behindHeader = stats.frameBytes + stats.skippedBytes;
    return static_cast<double>(stats.frameBytes) >= kMinFrameShare * static_cast<double>(behindHeader);
}

}  // namespace

ReframeResult reframe(std::FILE* input, std::uint64_t inputSize, std::FILE* output, ReframeStats& stats,
                      const std::function<void(double)>& progress, const ReframeOptions& options) {
    const int fd = fileno(input);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return ReframeResult::ReadError;
    InputWindow window(fd, static_cast<std::uint64_t>(info.st_size));
    ProgressReport report(inputSize, progress);

    std::uint8_t* bytes = nullptr;
    std::size_t available = 0;
    if (!window.at(0, aac::kProbeReach, bytes, available)) return ReframeResult::ReadError;
    AdtsConfig config;
    if (!parseAudioHeader(bytes, available, config)) return ReframeResult::NoHeader;
    const std::uint64_t headerSize = config.headerSize();
    report.advance(headerSize);

    const WalkResult walk = walkFrames(fd, window.size(), headerSize, config, options.threads, options.minPiece);
    if (walk.readError) return ReframeResult::ReadError;
    if (walk.decoderError) return ReframeResult::DecoderError;

    // Skipped bytes are passed as the walk passed them, so the progress lines are the serial
    // walk's whatever the split.
    std::uint64_t at = headerSize;
    auto skipTo = [&](std::uint64_t position) {
        stats.skippedBytes += position - at;
        report.pass(position - at);
        at = position;
    };
    // The program config element goes out once, with the first frame, as a stream of the ffmpeg
    // tool's ADTS muxer has it: the MP4 mux then moves it into the decoder configuration and
    // every frame reaches the repaired file as it was recorded.
    std::vector<std::uint8_t> lead = config.programConfigBytes;
    for (const FoundFrame& frame : walk.frames) {
        skipTo(frame.at);
        if (!window.at(frame.at, frame.length, bytes, available) || available < frame.length)
            return ReframeResult::ReadError;
        std::uint8_t header[7];
        writeAdtsHeader(config, lead.size() + frame.length, header);
        if (std::fwrite(header, 1, sizeof header, output) != sizeof header ||
            (!lead.empty() && std::fwrite(lead.data(), 1, lead.size(), output) != lead.size()) ||
            std::fwrite(bytes, 1, frame.length, output) != frame.length)
            return ReframeResult::WriteError;
        lead.clear();
        ++stats.frames;
        stats.frameBytes += frame.length;
        report.advance(frame.length);
        at = frame.at + frame.length;
    }
    skipTo(std::max(at, window.size()));
    if (std::fflush(output) != 0) return ReframeResult::WriteError;
    return holdsTheSound(stats, longestChain(walk.frames)) ? ReframeResult::Ok : ReframeResult::NoFrames;
}

}  // namespace brannoc
