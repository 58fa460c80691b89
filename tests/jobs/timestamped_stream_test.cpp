// Presentation times for the engine's bare stream, from the pictures' order counts.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "jobs/timestamped_stream.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_frames.h"
#include "tests/support/test_process.h"

using namespace testsupport;

TEST(DisplayPositions, RanksEachSequenceByOrderCount) {
    struct Case {
        const char* name;
        std::vector<AccessUnitOrder> units;
        std::vector<std::int64_t> positions;
    };
    const Case cases[] = {
        {"no reordering", {{0, true}, {2, false}, {4, false}}, {0, 1, 2}},
        {"b-pyramid", {{0, true}, {8, false}, {4, false}, {2, false}, {6, false}}, {0, 4, 2, 1, 3}},
        {"idr resets the count",
         {{0, true}, {4, false}, {2, false}, {0, true}, {4, false}, {2, false}},
         {0, 2, 1, 3, 5, 4}},
        {"all intra", {{0, true}, {0, true}, {0, true}}, {0, 1, 2}},
        {"open gop key frame keeps counting", {{0, true}, {6, false}, {2, false}, {12, true}, {8, false}}, {0, 2, 1, 4, 3}},
        {"equal counts keep decode order", {{0, true}, {2, false}, {2, false}}, {0, 1, 2}},
        {"empty", {}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(displayPositions(c.units), c.positions) << c.name;
}

TEST(DetectStreamCodec, ByTheFirstNalUnit) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        StreamCodec codec;
    };
    const Case cases[] = {
        {{0, 0, 0, 1, 0x67, 0x64}, StreamCodec::H264},
        {{0, 0, 1, 0x68, 0xEE}, StreamCodec::H264},
        {{0, 0, 0, 1, 0x06, 0x05, 0x11}, StreamCodec::H264},  // SEI first, as x264 writes it
        {{0, 0, 0, 1, 0x09, 0xF0}, StreamCodec::H264},
        {{0, 0, 0, 1, 0x40, 0x01}, StreamCodec::Hevc},
        {{0, 0, 0, 1, 0x42, 0x01}, StreamCodec::Hevc},
        {{0, 0, 0, 1, 0x4E, 0x01}, StreamCodec::Hevc},
        {{0, 0, 0, 1, 0x42, 0x07}, StreamCodec::Unknown},
        {{0, 0, 0, 1, 0x65}, StreamCodec::Unknown},
        {{1, 2, 3, 4}, StreamCodec::Unknown},
        {{}, StreamCodec::Unknown},
    };
    for (const Case& c : cases) EXPECT_EQ(detectStreamCodec(c.bytes.data(), c.bytes.size()), c.codec);
}

namespace {

struct CodecCase {
    const char* name;
    VideoCodec codec;
    const char* bitstreamFilter;
    const char* rawFormat;
};

void PrintTo(const CodecCase& c, std::ostream* os) { *os << c.name; }

class TimestampedStream : public ::testing::TestWithParam<CodecCase> {};

}  // namespace

TEST_P(TimestampedStream, MuxedCopyShowsEveryFrameOnceInOrder) {
    ClipSettings settings;
    settings.video = GetParam().codec;
    settings.audio = AudioCodec::None;
    settings.seconds = 4;
    const std::string original = clip(settings);
    ASSERT_FALSE(original.empty());
    TempDir dir;
    const std::string raw = dir.file("out-video.h264");
    ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", original, "-c:v", "copy", "-bsf:v",
                                  GetParam().bitstreamFilter, "-f", GetParam().rawFormat, raw});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const std::string stamped = dir.file("video.ts");
    TimestampedStreamResult result =
        writeTimestampedStream(QString::fromStdString(raw), 25.0, QString::fromStdString(stamped));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.frames, 100);

    // The mux as the job runs it: the copy in place of the bare stream.
    const std::string fixed = dir.file("clip_fix.mp4");
    r = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", stamped, "-c:v", "copy", "-y", fixed});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const DecodedFrames want = decodedFrames(original);
    const DecodedFrames got = decodedFrames(fixed);
    ASSERT_EQ(want.hashes.size(), 100u);
    EXPECT_EQ(got.hashes, want.hashes);
    for (std::size_t i = 1; i < got.pts.size(); ++i) EXPECT_LT(got.pts[i - 1], got.pts[i]) << "frame " << i;
}

INSTANTIATE_TEST_SUITE_P(Codecs, TimestampedStream,
                         ::testing::Values(CodecCase{"h264", VideoCodec::H264, "h264_mp4toannexb", "h264"},
                                           CodecCase{"h265", VideoCodec::H265, "hevc_mp4toannexb", "hevc"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TimestampedStreamFailures, WritesNothingUsableFromBadInput) {
    TempDir dir;
    const std::string out = dir.file("v.ts");
    struct Case {
        const char* name;
        std::string bytes;
        double fps;
    };
    const Case cases[] = {
        {"not a stream", std::string(1000, 'x'), 25},
        {"empty", "", 25},
        {"zero frame rate", std::string("\0\0\0\1\x67\x64\0\x1f", 8), 0},
        {"nan frame rate", std::string("\0\0\0\1\x67\x64\0\x1f", 8), std::nan("")},
    };
    for (const Case& c : cases) {
        const std::string raw = dir.file("raw.h264");
        writeFile(raw, c.bytes);
        TimestampedStreamResult result = writeTimestampedStream(QString::fromStdString(raw), c.fps, QString::fromStdString(out));
        EXPECT_FALSE(result.ok) << c.name;
        EXPECT_FALSE(result.error.empty()) << c.name;
    }
    EXPECT_FALSE(writeTimestampedStream(QString::fromStdString(dir.file("absent")), 25, QString::fromStdString(out)).ok);
}
