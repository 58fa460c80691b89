// The H.264 parser on encoder output and on damaged bytes: picture sizes of real streams against
// the ffmpeg probe, slice headers that stay in step with the stream, and no fault on truncated or
// random units (these tests are meant to run under the sanitizers too).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "media/h264_nal.h"
#include "media/h264_parser.h"
#include "mp4/nal_header.h"
#include "tests/support/h264_bit_writer.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct StreamCase {
    const char* name;
    int width;
    int height;
    std::vector<std::string> args;  // encoder options behind the clip recipe's
};

[[maybe_unused]] void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

// An Annex B elementary stream of `c`, made once into the clip folder.
std::string annexBClip(const StreamCase& c) {
    const std::string path = testsupport::clipDir() + "/annexb-" + c.name + ".h264";
    testsupport::ClipSettings settings;
    settings.audio = testsupport::AudioCodec::None;
    settings.seconds = 0.2;
    settings.width = c.width;
    settings.height = c.height;
    settings.extraArgs = c.args;
    const bool made = testsupport::produceOnce(path, [&](const std::string& part) {
        std::vector<std::string> cmd = testsupport::clipCommand(settings, part);
        cmd.resize(cmd.size() - 3);  // the container output
        cmd.insert(cmd.end(), {"-bsf:v", "h264_mp4toannexb", "-f", "h264", part});
        const testsupport::ProcessResult r = testsupport::runProcess(cmd);
        if (r.exitCode != 0) ADD_FAILURE() << "ffmpeg could not make " << path << ": " << r.err;
        return r.exitCode == 0;
    });
    return made ? path : std::string();
}

// Width and height as the ffmpeg probe reports them.
std::pair<int, int> probedSize(const std::string& path) {
    const testsupport::ProcessResult r = testsupport::runProcess(
        {"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=width,height", "-of", "csv=p=0", path});
    int width = 0;
    int height = 0;
    std::sscanf(r.out.c_str(), "%d,%d", &width, &height);
    return {width, height};
}

// The units of an Annex B stream, without start codes and trailing zero bytes.
std::vector<Bytes> splitUnits(const std::string& stream) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 3 <= stream.size(); ++i)
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) starts.push_back(i + 3);
    std::vector<Bytes> units;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        std::size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : stream.size();
        while (end > starts[k] && stream[end - 1] == 0) --end;
        units.emplace_back(stream.begin() + starts[k], stream.begin() + end);
    }
    return units;
}

void parseUnit(const Bytes& unit, H264ParserState& state) {
    const Bytes buffer = annexB(unit);
    parseFirstNalUnit(buffer.data(), int(buffer.size()), state);
}

class EncodedStream : public ::testing::TestWithParam<StreamCase> {};

// Parsing the stream in order, as a decoder meets it: every slice header must come out with
// values that only a parse in step with the stream gives.
TEST_P(EncodedStream, PictureSizeMatchesProbeAndSlicesStayInStep) {
    const std::string path = annexBClip(GetParam());
    ASSERT_FALSE(path.empty());
    const auto [probeWidth, probeHeight] = probedSize(path);
    ASSERT_GT(probeWidth, 0);
    EXPECT_EQ(probeWidth, GetParam().width);

    H264ParserState state;
    int parameterSets = 0;
    int slices = 0;
    for (const Bytes& unit : splitUnits(testsupport::readFile(path))) {
        parseUnit(unit, state);
        const std::uint32_t type = state.nal.nal_unit_type;
        if (type == 7) {
            ++parameterSets;
            EXPECT_EQ(pictureWidth(state.sps), probeWidth);
            EXPECT_EQ(pictureHeight(state.sps), probeHeight);
        }
        // The optional tail is for the High profiles only: a Baseline or Main PPS ends before it.
        if (type == 8 && (state.sps.profile_idc == 66 || state.sps.profile_idc == 77)) {
            EXPECT_EQ(state.pps.transform_8x8_mode_flag, 0u);
        }
        if (type == 6) {
            for (const H264SeiMessage& m : state.sei.messages) EXPECT_LE(m.payload.size(), m.payloadSize);
        }
        if (type != 1 && type != 5) continue;
        ++slices;
        const H264SliceHeader& sh = state.sh;
        const std::uint64_t mbs = (std::uint64_t(state.sps.pic_width_in_mbs_minus1) + 1) *
                                  (state.sps.pic_height_in_map_units_minus1 + 1) * (2 - state.sps.frame_mbs_only_flag);
        const std::int64_t qp = 26 + std::int64_t(state.pps.pic_init_qp_minus26) + sh.slice_qp_delta;
        SCOPED_TRACE("slice " + std::to_string(slices));
        EXPECT_LT(sh.slice_type % 5, 3u);
        if (type == 5) {
            EXPECT_EQ(sh.slice_type % 5, 2u);
        }
        EXPECT_EQ(sh.pic_parameter_set_id, state.pps.pic_parameter_set_id);
        EXPECT_LT(sh.first_mb_in_slice, mbs);
        EXPECT_GE(qp, -6 * std::int64_t(state.sps.bit_depth_luma_minus8));
        EXPECT_LE(qp, 51);
        EXPECT_LE(sh.disable_deblocking_filter_idc, 2u);
        EXPECT_LE(sh.slice_alpha_c0_offset_div2, 6);
        EXPECT_GE(sh.slice_alpha_c0_offset_div2, -6);
        EXPECT_LE(sh.cabac_init_idc, 2u);
    }
    EXPECT_GE(parameterSets, 1);
    EXPECT_GE(slices, 5);
}

// The header finder's use: a fresh state per candidate SPS, its PPS parsed on the same state.
TEST_P(EncodedStream, CurrentParserGivesSizeOfParameterSetPair) {
    const std::string path = annexBClip(GetParam());
    ASSERT_FALSE(path.empty());
    const std::vector<Bytes> units = splitUnits(testsupport::readFile(path));
    std::size_t sps = 0;
    while (sps + 1 < units.size() && mp4::nalTypeOf(units[sps][0], false) != 7) ++sps;
    ASSERT_LT(sps + 1, units.size());

    H264Parser parser;
    parser.initH264Parser();
    const Bytes spsBuffer = annexB(units[sps]);
    parser.parseFirstNalUnit(spsBuffer.data(), int(spsBuffer.size()));
    EXPECT_EQ(parser.getNalUnitType(), 7u);
    const Bytes ppsBuffer = annexB(units[sps + 1]);
    parser.parseFirstNalUnit(ppsBuffer.data(), int(ppsBuffer.size()));
    EXPECT_EQ(parser.getNalUnitType(), 8u);
    EXPECT_EQ(parser.getPictureWidth(), GetParam().width);
    EXPECT_EQ(parser.getPictureHeight(), GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(
    Clips, EncodedStream,
    ::testing::Values(
        StreamCase{"Baseline1080", 1920, 1080, {"-profile:v", "baseline"}},
        StreamCase{"Main720", 1280, 720, {"-profile:v", "main"}},
        StreamCase{"MainCropped350x198", 350, 198, {"-profile:v", "main"}},
        StreamCase{"High640x360", 640, 360, {}},
        StreamCase{"HighSlicesRefsWeights", 352, 288, {"-x264-params", "slices=3:ref=4:weightp=2:bframes=3:b-pyramid=normal"}},
        StreamCase{"HighInterlaced1080", 1920, 1080, {"-flags", "+ildct+ilme"}},
        StreamCase{"HighScalingMatrix", 320, 240, {"-x264-params", "cqm=jvt"}},
        StreamCase{"High422", 350, 198, {"-profile:v", "high422", "-pix_fmt", "yuv422p"}},
        StreamCase{"High444OddSize", 321, 243, {"-profile:v", "high444", "-pix_fmt", "yuv444p", "-vf", "scale=321:243"}},
        StreamCase{"Monochrome", 322, 242, {"-pix_fmt", "gray"}}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.name); });

// Every prefix of every unit of real streams, parsed in order on one state.
TEST(DamagedUnits, TruncatedUnitsParseWithoutFault) {
    for (const StreamCase& c : {StreamCase{"HighSlicesRefsWeights", 352, 288,
                                           {"-x264-params", "slices=3:ref=4:weightp=2:bframes=3:b-pyramid=normal"}},
                                StreamCase{"HighInterlaced1080", 1920, 1080, {"-flags", "+ildct+ilme"}}}) {
        const std::string path = annexBClip(c);
        ASSERT_FALSE(path.empty());
        H264ParserState state;
        for (const Bytes& unit : splitUnits(testsupport::readFile(path))) {
            const std::size_t longest = std::min<std::size_t>(unit.size(), 96);
            for (std::size_t length = 0; length <= longest; ++length) {
                const Bytes cut(unit.begin(), unit.begin() + length);
                parseUnit(cut, state);
                if (length > 0) {
                    EXPECT_EQ(state.nal.nal_unit_type, std::uint32_t(mp4::nalTypeOf(unit[0], false)));
                }
            }
        }
    }
}

// Random bodies behind every header kind with a reader, on one state so that damaged parameter
// sets steer the later slice headers; some bodies are runs of 00 or FF bytes.
TEST(DamagedUnits, RandomUnitsParseWithoutFault) {
    std::mt19937 random(2604);
    const std::uint8_t kinds[] = {0x06, 0x67, 0x68, 0x09, 0x41, 0x65, 0x13, 0x01, 0x6E};
    H264ParserState state;
    for (int round = 0; round < 4000; ++round) {
        Bytes unit{kinds[random() % std::size(kinds)]};
        const std::size_t length = random() % (round % 50 == 0 ? 20000 : 400);
        const int style = int(random() % 4);
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint8_t any = std::uint8_t(random());
            unit.push_back(style == 0 ? 0x00 : style == 1 ? 0xFF : style == 2 ? std::uint8_t(any & 0x0F) : any);
        }
        parseUnit(unit, state);
        EXPECT_EQ(state.nal.nal_unit_type, std::uint32_t(mp4::nalTypeOf(unit[0], false)));
        pictureWidth(state.sps);
        pictureHeight(state.sps);
    }
}

}  // namespace
