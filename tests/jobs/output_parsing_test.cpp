// The rules that turn the child programs' output lines into progress and durations.
#include <gtest/gtest.h>

#include "jobs/output_parsing.h"

TEST(TextBetween, TakesTheLastStartAndTheFirstEndBehindIt) {
    struct Case {
        std::string text, start, end, expected;
    };
    const Case cases[] = {
        {"a=1, a=2, b", "a=", ",", "2"},
        {"no start here", "x=", ",", ""},
        {"x=5 without end", "x=", ",", ""},
        {"end, before x=7", "x=", ",", ""},
        {"x=,", "x=", ",", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(textBetween(c.text, c.start, c.end), c.expected) << c.text;
}

TEST(SplitTokens, DropsEmptyPieces) {
    EXPECT_EQ(splitTokens("00:01:23", ":"), (std::vector<std::string>{"00", "01", "23"}));
    EXPECT_EQ(splitTokens("::a::b:", ":"), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(splitTokens("", ":").empty());
}

TEST(TextToInt, ReadsLikeAtoiWithoutOverflow) {
    EXPECT_EQ(textToInt("  25 "), 25);
    EXPECT_EQ(textToInt("-3x"), -3);
    EXPECT_EQ(textToInt("q=28"), 0);
    EXPECT_EQ(textToInt("99999999999999999999"), INT32_MAX);
}

TEST(DurationLine, SetsTotalTime) {
    struct Case {
        const char* line;
        bool isDuration;
        int total;
    };
    const Case cases[] = {
        {"  Duration: 00:01:23.45, start: 0.000000, bitrate: 1234 kb/s", true, 83},
        {"  Duration: N/A, bitrate: N/A", true, -1},
        {"  Duration: 01:00:00.00, start: 0", true, 3600},
        {"Stream #0:0: Video: h264", false, 0},
    };
    for (const Case& c : cases) {
        int total = 0;
        EXPECT_EQ(parseDurationLine(c.line, total), c.isDuration) << c.line;
        EXPECT_EQ(total, c.total) << c.line;
    }
}

TEST(ConversionProgress, ReadsFpsFrameAndTime) {
    struct Case {
        const char* line;
        int fps, frame, time;
    };
    const Case cases[] = {
        {"frame=  100 fps= 25 q=28.0 size=    1024kB time=00:00:04.00 bitrate=2097.2kbits/s", 25, 100, 4},
        {"size=     512kB time=00:01:02.50 bitrate= 67.1kbits/s", 0, 0, 62},
        // Two reports in one line: the newer one counts.
        {"frame=   10 fps=5.0 q=28.0 size=1kB time=00:00:01.00 bitrate=1\rframe=   20 fps= 10 q=28.0 size=2kB "
         "time=00:00:02.00 bitrate=1",
         10, 20, 2},
        {"frame=   30 fps=0.0 q=-1.0 Lsize=N/A time=N/A bitrate=N/A", 0, 30, 0},
    };
    for (const Case& c : cases) {
        ConversionProgress p;
        ASSERT_TRUE(parseConversionProgress(c.line, p)) << c.line;
        EXPECT_EQ(p.fps, c.fps) << c.line;
        EXPECT_EQ(p.frame, c.frame) << c.line;
        EXPECT_EQ(p.time, c.time) << c.line;
    }
    ConversionProgress p;
    EXPECT_FALSE(parseConversionProgress("Output #0, mp4, to 'x.mp4':", p));
}

TEST(MuxStatus, ShowsTimeAndFrame) {
    std::string status;
    ASSERT_TRUE(muxStatusText("frame=  100 fps=0.0 q=-1.0 size=1024kB time=00:00:04.00 bitrate=1", status));
    EXPECT_EQ(status, "Muxing: 00:00:04 (  100 fps)");
    EXPECT_FALSE(muxStatusText("Input #0, h264", status));
    // The in-process mux says the same in the same words; the hours do not wrap.
    EXPECT_EQ(muxStatusText(4.96, 100), "Muxing: 00:00:04 (  100 fps)");
    EXPECT_EQ(muxStatusText(3 * 3600 + 25 * 60 + 7.5, 123456), "Muxing: 03:25:07 (123456 fps)");
    EXPECT_EQ(muxStatusText(-1, 0), "Muxing: 00:00:00 (    0 fps)");
}

TEST(AudioRepairProgress, NeedsACommaAndAWholeNumber) {
    struct Case {
        const char* line;
        bool reported;
        int percent;
    };
    const Case cases[] = {
        {"done=45.2, frames=10", true, 45},
        {"done=45,", false, 0},
        {"done=abc.1,", false, 0},
        {"progress 45.2,", false, 0},
        {"done=100.0, frames=95", true, 100},
    };
    for (const Case& c : cases) {
        int percent = 0;
        EXPECT_EQ(parseAudioRepairProgress(c.line, percent), c.reported) << c.line;
        EXPECT_EQ(percent, c.percent) << c.line;
    }
}
