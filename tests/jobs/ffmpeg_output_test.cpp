// The output parsers on what the real ffmpeg tool prints: progress reports joined by "\r",
// lines cut anywhere between reads, the conversion's and the mux's own reports.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "jobs/child_process.h"
#include "jobs/child_programs.h"
#include "jobs/output_parsing.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

using namespace testsupport;

namespace {

// Two seconds at 25 fps: 50 frames.
constexpr int kFrames = 50;

std::vector<std::string> linesOf(const std::string& bytes, std::size_t chunk) {
    std::vector<std::string> lines;
    LineSplitter splitter([&](const std::string& line) { lines.push_back(line); });
    for (std::size_t at = 0; at < bytes.size(); at += chunk)
        splitter.feed(QByteArray(bytes.data() + at, static_cast<int>(std::min(chunk, bytes.size() - at))));
    splitter.finish();
    return lines;
}

struct Parsed {
    int totalTime = 0;
    std::vector<ConversionProgress> reports;
};

Parsed parse(const std::vector<std::string>& lines) {
    Parsed p;
    for (const std::string& line : lines) {
        parseDurationLine(line, p.totalTime);
        ConversionProgress progress;
        if (parseConversionProgress(line, progress)) p.reports.push_back(progress);
    }
    return p;
}

// The conversion's stderr, with a report every few milliseconds so that several come joined.
std::string conversionOutput(const TempDir& dir) {
    const ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-hide_banner", "-stats_period", "0.01", "-i", clip({}),
                                        "-c:v", "libx264", "-preset", "slow", "-c:a", "aac", "-y", dir.file("o.mp4")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.err;
}

}  // namespace

TEST(FfmpegOutput, ReportsSplitAnywhereGiveTheSameLines) {
    TempDir dir;
    const std::string raw = conversionOutput(dir);
    ASSERT_NE(raw.find('\r'), std::string::npos) << "ffmpeg ends its reports with \\r";

    const std::vector<std::string> whole = linesOf(raw, raw.size());
    for (std::size_t chunk : {1, 2, 3, 7, 100, 4096}) EXPECT_EQ(linesOf(raw, chunk), whole) << "chunk " << chunk;

    const Parsed parsed = parse(whole);
    EXPECT_EQ(parsed.totalTime, 2);
    ASSERT_GE(parsed.reports.size(), 2u) << raw;
    for (std::size_t i = 1; i < parsed.reports.size(); ++i)
        EXPECT_GE(parsed.reports[i].frame, parsed.reports[i - 1].frame);
    EXPECT_EQ(parsed.reports.back().frame, kFrames);
    EXPECT_GE(parsed.reports.back().time, 1);
    EXPECT_LE(parsed.reports.back().time, 2);

    // Read without the "\r" split, the reports come as one line; the newest one counts.
    std::vector<std::string> newlineOnly;
    for (std::size_t at = 0, end; at < raw.size(); at = end + 1) {
        end = raw.find('\n', at);
        if (end == std::string::npos) end = raw.size();
        newlineOnly.push_back(raw.substr(at, end - at));
    }
    bool sawJoined = false;
    for (const std::string& line : newlineOnly) {
        if (line.find("frame=") == line.rfind("frame=")) continue;
        sawJoined = true;
        ConversionProgress joined;
        ASSERT_TRUE(parseConversionProgress(line, joined));
        const Parsed pieces = parse(linesOf(line, line.size()));
        EXPECT_EQ(joined.frame, pieces.reports.back().frame);
        EXPECT_EQ(joined.time, pieces.reports.back().time);
        EXPECT_EQ(joined.fps, pieces.reports.back().fps);
    }
    EXPECT_TRUE(sawJoined);
}

TEST(FfmpegOutput, RunnerDeliversTheConversionsReportsAsTheJobParsesThem) {
    TempDir dir;
    std::atomic<bool> cancel{false};
    std::vector<std::string> lines;
    const ChildResult r = ChildProcessRunner(cancel).run(
        childProgramPath(ChildProgram::Ffmpeg),
        {"-nostdin", "-stats_period", "0.01", "-i", QString::fromStdString(clip({})), "-c:v", "libx264", "-c:a", "aac",
         "-y", QString::fromStdString(dir.file("o.mp4"))},
        [&](const std::string& line) { lines.push_back(line); });
    ASSERT_TRUE(r.succeeded());
    const Parsed parsed = parse(lines);
    EXPECT_EQ(parsed.totalTime, 2);
    ASSERT_FALSE(parsed.reports.empty());
    EXPECT_EQ(parsed.reports.back().frame, kFrames);
}

TEST(FfmpegOutput, MuxReportsBecomeStatusTexts) {
    TempDir dir;
    const std::string video = dir.file("out-video.h264");
    ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", clip({}), "-an", "-c:v", "copy",
                                  "-bsf:v", "h264_mp4toannexb", "-f", "h264", "-y", video});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The job's mux command line.
    r = runProcess({"ffmpeg", "-nostdin", "-r", "25", "-i", video, "-c:v", "copy", "-y", dir.file("clip_fix.mp4")});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    std::string status;
    int totalTime = 0;
    for (const std::string& line : linesOf(r.err, 512)) {
        parseDurationLine(line, totalTime);
        muxStatusText(line, status);
    }
    EXPECT_EQ(totalTime, -1) << "a raw stream has no duration";
    EXPECT_EQ(status, "Muxing: 00:00:01 (   50 fps)") << r.err;
}
