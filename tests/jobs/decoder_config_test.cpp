// The decoder configuration record the mux writes for the engine's stream, read back by the
// parsers the reference analysis uses, for streams the encoders really write.
#include <gtest/gtest.h>

#include "jobs/access_units.h"
#include "jobs/decoder_config.h"
#include "media/start_codes.h"
#include "mp4/avc_config.h"
#include "mp4/hevc_config.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

using namespace testsupport;

namespace {

struct RecordCase {
    const char* name;
    VideoCodec codec;
    std::vector<std::string> videoArgs;  // after the clip's own, so they override it
    int profile;
    int chromaFormat;
    int bitDepth;  // luma and chroma alike here
    int temporalLayers;  // H.265 only
};
void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }
class DecoderConfigRecord : public ::testing::TestWithParam<RecordCase> {};

std::vector<std::string> unitsOf(const std::vector<std::uint8_t>& annexB) {
    std::vector<NalRange> ranges;
    splitNalUnits(annexB.data(), annexB.size(), ranges);
    std::vector<std::string> units;
    for (const NalRange& r : ranges)
        units.emplace_back(reinterpret_cast<const char*>(annexB.data() + r.begin), r.end - r.begin);
    return units;
}

std::string textOf(mp4::ByteSpan span) { return std::string(reinterpret_cast<const char*>(span.data), span.size); }

}  // namespace

TEST_P(DecoderConfigRecord, ReadsBackWithTheStreamsParameterSetsAndFormat) {
    const RecordCase& c = GetParam();
    const ClipSettings settings = clipSettings(c.codec, AudioCodec::None, Container::Mp4, c.videoArgs);
    const std::string original = clip(settings);
    ASSERT_FALSE(original.empty());
    TempDir dir;
    const bool hevc = c.codec == VideoCodec::H265;
    const std::string raw = dir.file("video.raw");
    const ProcessResult made = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", original, "-c:v", "copy",
                                           "-bsf:v", hevc ? "hevc_mp4toannexb" : "h264_mp4toannexb", "-f",
                                           hevc ? "hevc" : "h264", raw});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    StreamTimeline timeline;
    const Outcome read = readStreamTimeline(QString::fromStdString(raw), timeline);
    ASSERT_TRUE(read) << read.reason();
    std::vector<std::uint8_t> record;
    ASSERT_TRUE(decoderConfigOf(timeline.codec, timeline.parameterSets, record));
    const mp4::ByteSpan span{record.data(), record.size()};
    const std::vector<std::string> units = unitsOf(timeline.parameterSets);

    if (!hevc) {
        mp4::AvcConfig config;
        ASSERT_TRUE(mp4::parseAvcConfig(span, config));
        EXPECT_EQ(config.nalLengthSize, 4);
        EXPECT_EQ(config.profile, c.profile);
        std::vector<std::string> stored;
        for (const mp4::ByteSpan& u : config.sequenceParameterSets) stored.push_back(textOf(u));
        for (const mp4::ByteSpan& u : config.pictureParameterSets) stored.push_back(textOf(u));
        EXPECT_EQ(stored, units);
        EXPECT_EQ(config.level, static_cast<std::uint8_t>(units.front()[3]));
        EXPECT_EQ(config.hasFormat, !mp4::avcProfileWithoutFormat(config.profile));
        EXPECT_EQ(config.chromaFormat, c.chromaFormat);
        EXPECT_EQ(config.bitDepthLuma, c.bitDepth);
        EXPECT_EQ(config.bitDepthChroma, c.bitDepth);
        return;
    }
    mp4::HevcConfig config;
    ASSERT_TRUE(mp4::parseHevcConfig(span, config));
    EXPECT_EQ(config.nalLengthSize, 4);
    EXPECT_EQ(config.profileIdc, c.profile);
    EXPECT_EQ(config.chromaFormat, c.chromaFormat);
    EXPECT_EQ(config.bitDepthLuma, c.bitDepth);
    EXPECT_EQ(config.bitDepthChroma, c.bitDepth);
    EXPECT_EQ(config.temporalLayers, c.temporalLayers);
    // The profile's own compatibility flag is set, and a level was read (x265 picks one).
    EXPECT_TRUE(config.compatibilityFlags & (1u << (31 - c.profile)));
    EXPECT_GT(config.levelIdc, 0);
    std::vector<std::string> stored;
    std::vector<int> types;
    for (const mp4::HevcConfig::Array& array : config.arrays) {
        types.push_back(array.nalUnitType);
        for (const mp4::ByteSpan& u : array.units) stored.push_back(textOf(u));
    }
    EXPECT_EQ(types, (std::vector<int>{32, 33, 34}));
    EXPECT_EQ(stored, units);
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, DecoderConfigRecord,
    ::testing::Values(RecordCase{"h264_high", VideoCodec::H264, {}, 100, 1, 8, 0},
                      RecordCase{"h264_baseline", VideoCodec::H264, {"-profile:v", "baseline"}, 66, 1, 8, 0},
                      RecordCase{"h264_high444_10bit", VideoCodec::H264,
                                 {"-profile:v", "high444", "-pix_fmt", "yuv444p10le"}, 244, 3, 10, 0},
                      RecordCase{"h265_main", VideoCodec::H265, {}, 1, 1, 8, 1},
                      // Sub-layers put their flags between the general profile and the SPS id.
                      RecordCase{"h265_422_10bit_two_layers", VideoCodec::H265,
                                 {"-pix_fmt", "yuv422p10le", "-x265-params", "log-level=error:temporal-layers=1"}, 4, 2,
                                 10, 2}),
    [](const auto& info) { return std::string(info.param.name); });
