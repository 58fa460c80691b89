// The mux's first walk over the video on a thread of its own, beside the audio repair.
#include <gtest/gtest.h>

#include <atomic>

#include "jobs/background_timeline.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

using namespace testsupport;

namespace {

std::string bareStream(const TempDir& dir) {
    const std::string original = clip(clipSettings(VideoCodec::H264, AudioCodec::None, Container::Mp4));
    const std::string raw = dir.file("video.h264");
    const ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", original, "-c:v", "copy",
                                        "-bsf:v", "h264_mp4toannexb", "-f", "h264", raw});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return raw;
}

}  // namespace

TEST(BackgroundTimeline, GivesTheTimelineTheWalkOnTheCallersThreadGives) {
    TempDir dir;
    const QString raw = QString::fromStdString(bareStream(dir));
    StreamTimeline direct;
    const Outcome read = readStreamTimeline(raw, direct);
    ASSERT_TRUE(read) << read.reason();

    std::atomic<bool> cancel{false};
    BackgroundTimeline walk(raw, cancel);
    StreamTimeline taken;
    const Outcome took = walk.take(taken);
    ASSERT_TRUE(took) << took.reason();
    ASSERT_EQ(taken.units.size(), direct.units.size());
    for (std::size_t i = 0; i < taken.units.size(); ++i) {
        EXPECT_EQ(taken.units[i].offset, direct.units[i].offset) << "unit " << i;
        EXPECT_EQ(taken.units[i].size, direct.units[i].size) << "unit " << i;
    }
    EXPECT_EQ(taken.display, direct.display);
    EXPECT_EQ(taken.parameterSets, direct.parameterSets);
    // Taken once: a second take has nothing to give.
    EXPECT_FALSE(walk.take(taken));
}

TEST(BackgroundTimeline, TheJobsCancelStopsTheWalk) {
    TempDir dir;
    std::atomic<bool> cancel{true};
    BackgroundTimeline walk(QString::fromStdString(bareStream(dir)), cancel);
    StreamTimeline taken;
    const Outcome took = walk.take(taken);
    EXPECT_FALSE(took);
    EXPECT_EQ(took.reason(), "stopped");
}

TEST(BackgroundTimeline, AMissingVideoFailsTheTake) {
    TempDir dir;
    std::atomic<bool> cancel{false};
    BackgroundTimeline walk(QString::fromStdString(dir.file("none.h264")), cancel);
    StreamTimeline taken;
    const Outcome took = walk.take(taken);
    EXPECT_FALSE(took);
    EXPECT_NE(took.reason(), "");
}
