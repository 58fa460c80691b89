// Table tests of the H.264 parser on hand-made units: bit reading, emulation prevention, the
// start-code search, and the SPS, PPS, slice header, delimiter and SEI readers.
#include "media/h264_parser.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "media/h264_bit_reader.h"
#include "media/h264_nal.h"
#include "tests/support/h264_bit_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}


void parse(const Bytes& unit, H264ParserState& state) { readNalUnit(unit.data(), unit.size(), state); }

// ---------------------------------------------------------------- bit reader

struct UeCase {
    const char* name;
    std::function<void(BitWriter&)> bits;
    std::uint32_t value;
};
void PrintTo(const UeCase& c, std::ostream* os) { *os << c.name; }

class ReadUe : public ::testing::TestWithParam<UeCase> {};

TEST_P(ReadUe, DecodesWithBoundedPrefix) {
    BitWriter w;
    GetParam().bits(w);
    BitReader r(w.data().data(), w.data().size());
    EXPECT_EQ(r.readUe(), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadUe,
    ::testing::Values(UeCase{"Empty", [](BitWriter&) {}, 0}, UeCase{"Zero", [](BitWriter& w) { w.u(8, 0x80); }, 0},
                      UeCase{"One", [](BitWriter& w) { w.u(8, 0x40); }, 1},
                      UeCase{"Two", [](BitWriter& w) { w.u(8, 0x60); }, 2},
                      UeCase{"Large", [](BitWriter& w) { w.ue(123456).u(8, 0xFF); }, 123456},
                      UeCase{"LargestThatFits", [](BitWriter& w) { w.ue(0xFFFFFFFEull); }, 0xFFFFFFFEu},
                      // 32 zeros: 2^32 - 1 + u(32) wraps at 32 bits.
                      UeCase{"ThirtyTwoZerosWrap", [](BitWriter& w) { w.zeros(32).u(1, 1).u(32, 5); }, 4u},
                      // The 33rd zero ends the prefix; u(32) then reads on from the next bit.
                      UeCase{"TooManyZerosStopAtThirtyTwo", [](BitWriter& w) { w.zeros(40).u(1, 1).zeros(31); },
                             (1u << 24) - 1},
                      // The zero that reaches the end is not counted: 7 zeros, then u(7) past the end.
                      UeCase{"ZeroByteEndsPrefix", [](BitWriter& w) { w.u(8, 0); }, 127},
                      UeCase{"LongZeroRunTerminates", [](BitWriter& w) { w.zeros(8 * 4096); }, 0xFFFFFFFFu}),
    caseName<UeCase>);

TEST(BitReader, SignedMappingAndEndOfData) {
    BitWriter w;
    for (std::int64_t v : {0, 1, -1, 2, -2, 1000, -1000}) w.se(v);
    BitReader r(w.data().data(), w.data().size());
    for (std::int32_t v : {0, 1, -1, 2, -2, 1000, -1000}) EXPECT_EQ(r.readSe(), v);

    const Bytes two{0xAB, 0xCD};
    BitReader shortReader(two.data(), two.size());
    EXPECT_EQ(shortReader.readBits(32), 0xABCD0000u);  // zero bits past the end
    EXPECT_TRUE(shortReader.atEnd());
    EXPECT_EQ(shortReader.readBit(), 0u);
    EXPECT_EQ(shortReader.readUe(), 0u);
}

struct MoreDataCase {
    const char* name;
    Bytes data;
    int consumedBits;
    bool more;
};
void PrintTo(const MoreDataCase& c, std::ostream* os) { *os << c.name; }

class MoreRbspData : public ::testing::TestWithParam<MoreDataCase> {};

TEST_P(MoreRbspData, SeesOnlyTheStopBitAsEnd) {
    const MoreDataCase& c = GetParam();
    BitReader r(c.data.data(), c.data.size());
    r.readBits(c.consumedBits);
    EXPECT_EQ(r.moreRbspData(), c.more);
}

INSTANTIATE_TEST_SUITE_P(Cases, MoreRbspData,
                         ::testing::Values(MoreDataCase{"Empty", {}, 0, false},
                                           MoreDataCase{"StopBitOnly", {0x80}, 0, false},
                                           MoreDataCase{"BitBeforeStopBit", {0xC0}, 0, true},
                                           MoreDataCase{"BitAlreadyRead", {0xC0}, 1, false},
                                           MoreDataCase{"StopBitInNextByte", {0x00, 0x80}, 3, false},
                                           MoreDataCase{"TrailingZeroBytes", {0x01, 0x00, 0x00}, 0, false},
                                           MoreDataCase{"DataBeforeLastByte", {0x40, 0x00, 0x01}, 0, true},
                                           MoreDataCase{"DataInLastByte", {0x00, 0x81}, 0, true},
                                           MoreDataCase{"AtEnd", {0xFF}, 8, false}),
                         caseName<MoreDataCase>);

// ---------------------------------------------------------------- emulation prevention

struct PayloadCase {
    const char* name;
    Bytes unit;
    Bytes payload;
};
void PrintTo(const PayloadCase& c, std::ostream* os) { *os << c.name; }

class UnitPayload : public ::testing::TestWithParam<PayloadCase> {};

TEST_P(UnitPayload, RemovesEmulationPrevention) {
    const PayloadCase& c = GetParam();
    EXPECT_EQ(unitPayload(c.unit.data(), c.unit.size()), c.payload);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnitPayload,
    ::testing::Values(PayloadCase{"HeaderOnly", {0x67}, {}},
                      PayloadCase{"PlainBytes", {0x67, 0x42, 0x00, 0x1E}, {0x42, 0x00, 0x1E}},
                      // The byte behind 03 is copied, not taken as a start code.
                      PayloadCase{"EscapedStartCode", {0x67, 0x00, 0x00, 0x03, 0x01, 0x55}, {0x00, 0x00, 0x01, 0x55}},
                      PayloadCase{"TwoEscapes", {0x67, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x02}, {0, 0, 0, 0, 2}},
                      PayloadCase{"EscapeAtEnd", {0x67, 0x00, 0x00, 0x03}, {0x00, 0x00}},
                      PayloadCase{"StartCodeEndsUnit", {0x67, 0xAA, 0x00, 0x00, 0x01, 0xBB}, {0xAA}},
                      PayloadCase{"LastTwoBytesCopied", {0x67, 0x11, 0x00, 0x00}, {0x11, 0x00, 0x00}}),
    caseName<PayloadCase>);

// ---------------------------------------------------------------- start-code search and state

class CurrentParserTest : public ::testing::Test {
protected:
    H264Parser parser;
    void feed(const Bytes& buffer) { parser.parseFirstNalUnit(buffer.data(), int(buffer.size())); }
};

TEST_F(CurrentParserTest, NeedsAFourByteStartCodeInsideTheBuffer) {
    feed({0x00, 0x00, 0x01, 0x67, 0x42});     // three-byte start code only
    feed({0x67, 0x42, 0x00, 0x00, 0x00});     // start code cut by the buffer end
    parser.parseFirstNalUnit(nullptr, 10);
    const Bytes sps{0, 0, 0, 1, 0x67};
    parser.parseFirstNalUnit(sps.data(), 0);
    EXPECT_EQ(parser.getNalUnitType(), 0u);
}

TEST_F(CurrentParserTest, HeaderOnlySpsGivesZeroRecord) {
    feed({0x12, 0x00, 0x00, 0x00, 0x01, 0x67});
    EXPECT_EQ(parser.getNalUnitType(), 7u);
    EXPECT_EQ(parser.state().sps.profile_idc, 0u);
    EXPECT_EQ(parser.getPictureWidth(), 16);
    EXPECT_EQ(parser.getPictureHeight(), 32);
}

TEST_F(CurrentParserTest, InitMakesAFreshState) {
    feed(annexB(nalUnit(0x67, BitWriter().u(8, 66).u(8, 0).u(8, 30).ue(0).ue(0).ue(0).ue(1).ue(1).flag(0).ue(39).ue(29).flag(1).flag(1).flag(0).flag(0).trailing().data())));
    EXPECT_EQ(parser.getPictureWidth(), 640);
    parser.initH264Parser();
    EXPECT_EQ(parser.getNalUnitType(), 0u);
    EXPECT_EQ(parser.state().sps.pic_width_in_mbs_minus1, 0u);
}

// ---------------------------------------------------------------- sequence parameter set

constexpr std::uint32_t kChromaProfiles[] = {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135, 144};

bool chromaBlock(std::uint32_t profile) {
    for (std::uint32_t p : kChromaProfiles)
        if (p == profile) return true;
    return false;
}

// Counts beyond the record's tables are written with made-up entries.
struct SpsWrite {
    H264Sps sps;
    std::uint32_t refFramesInCycle = 0;  // num_ref_frames_in_pic_order_cnt_cycle
    std::uint32_t nalCpbCount = 0;       // cpb_cnt_minus1 + 1 of the NAL HRD, 0 for none
    std::uint32_t vclCpbCount = 0;
};

void writeScalingList(BitWriter& w, int index, int size) {
    if (index == 0) {
        w.se(-8);  // nextScale 0 at the first coefficient: the default list, one delta only
        return;
    }
    for (int j = 0; j < size; ++j) w.se(j % 2 ? 3 : -2);
}

void writeHrd(BitWriter& w, std::uint32_t count, std::uint32_t base) {
    w.ue(count - 1).u(4, 2).u(4, 3);
    for (std::uint32_t i = 0; i < count; ++i) w.ue(base + i).ue(base + 2 * i).flag(i % 2);
    w.u(5, 23).u(5, 22).u(5, 21).u(5, 24);
}

Bytes writeSps(const SpsWrite& in) {
    const H264Sps& s = in.sps;
    BitWriter w;
    w.u(8, s.profile_idc).u(8, 0).u(8, s.level_idc).ue(s.seq_parameter_set_id);
    if (chromaBlock(s.profile_idc)) {
        w.ue(s.chroma_format_idc);
        if (s.chroma_format_idc == 3) w.flag(s.separate_colour_plane_flag);
        w.ue(s.bit_depth_luma_minus8).ue(s.bit_depth_chroma_minus8).flag(0).flag(s.seq_scaling_matrix_present_flag);
        if (s.seq_scaling_matrix_present_flag) {
            for (int i = 0; i < (s.chroma_format_idc != 3 ? 8 : 12); ++i) {
                w.flag(s.seq_scaling_list_present_flag[i]);
                if (s.seq_scaling_list_present_flag[i]) writeScalingList(w, i, i < 6 ? 16 : 64);
            }
        }
    }
    w.ue(s.log2_max_frame_num_minus4).ue(s.pic_order_cnt_type);
    if (s.pic_order_cnt_type == 0) w.ue(s.log2_max_pic_order_cnt_lsb_minus4);
    if (s.pic_order_cnt_type == 1) {
        w.flag(s.delta_pic_order_always_zero_flag).se(s.offset_for_non_ref_pic).se(s.offset_for_top_to_bottom_field);
        w.ue(in.refFramesInCycle);
        for (std::uint32_t i = 0; i < in.refFramesInCycle; ++i) w.se(i < 256 ? s.offset_for_ref_frame[i] : -7);
    }
    w.ue(s.num_ref_frames).flag(0).ue(s.pic_width_in_mbs_minus1).ue(s.pic_height_in_map_units_minus1);
    w.flag(s.frame_mbs_only_flag);
    if (!s.frame_mbs_only_flag) w.flag(s.mb_adaptive_frame_field_flag);
    w.flag(1).flag(s.frame_cropping_flag);
    if (s.frame_cropping_flag)
        w.ue(s.frame_crop_left_offset).ue(s.frame_crop_right_offset).ue(s.frame_crop_top_offset).ue(s.frame_crop_bottom_offset);
    w.flag(s.vui_parameters_present_flag);
    if (s.vui_parameters_present_flag) {
        const H264Vui& v = s.vui;
        w.flag(v.aspect_ratio_info_present_flag);
        if (v.aspect_ratio_info_present_flag) {
            w.u(8, v.aspect_ratio_idc);
            if (v.aspect_ratio_idc == 255) w.u(16, v.sar_width).u(16, v.sar_height);
        }
        w.flag(0).flag(1).u(3, 5).flag(v.video_full_range_flag).flag(1).u(8, 1).u(8, 1).u(8, 1);
        w.flag(0).flag(1).u(32, v.num_units_in_tick).u(32, v.time_scale).flag(1);
        w.flag(in.nalCpbCount != 0);
        if (in.nalCpbCount) writeHrd(w, in.nalCpbCount, 1000);
        w.flag(in.vclCpbCount != 0);
        if (in.vclCpbCount) writeHrd(w, in.vclCpbCount, 2000);
        if (in.nalCpbCount || in.vclCpbCount) w.flag(1);
        w.flag(0).flag(1).flag(1).ue(2).ue(1).ue(16).ue(16).ue(v.num_reorder_frames).ue(v.max_dec_frame_buffering);
    }
    w.trailing();
    return nalUnit(0x67, w.data());
}

SpsWrite baseSps() {
    SpsWrite in;
    H264Sps& s = in.sps;
    s.profile_idc = 66;
    s.level_idc = 30;
    s.seq_parameter_set_id = 1;
    s.chroma_format_idc = 1;
    s.log2_max_frame_num_minus4 = 2;
    s.log2_max_pic_order_cnt_lsb_minus4 = 4;
    s.num_ref_frames = 3;
    s.pic_width_in_mbs_minus1 = 19;
    s.pic_height_in_map_units_minus1 = 14;
    s.frame_mbs_only_flag = 1;
    s.vui_parameters_present_flag = 1;
    s.vui.num_units_in_tick = 1;
    s.vui.time_scale = 50;
    s.vui.num_reorder_frames = 2;
    s.vui.max_dec_frame_buffering = 4;
    return in;
}

struct SpsCase {
    const char* name;
    std::function<void(SpsWrite&)> change;
    int width;
    int height;
};
void PrintTo(const SpsCase& c, std::ostream* os) { *os << c.name; }

class SequenceParameterSet : public ::testing::TestWithParam<SpsCase> {};

TEST_P(SequenceParameterSet, ReadsFieldsAndPictureSize) {
    SpsWrite in = baseSps();
    GetParam().change(in);
    H264ParserState state;
    parse(writeSps(in), state);
    const H264Sps& want = in.sps;
    const H264Sps& got = state.sps;
    EXPECT_EQ(state.nal.nal_unit_type, 7u);
    EXPECT_EQ(got.profile_idc, want.profile_idc);
    EXPECT_EQ(got.level_idc, want.level_idc);
    EXPECT_EQ(got.seq_parameter_set_id, want.seq_parameter_set_id);
    EXPECT_EQ(got.chroma_format_idc, want.chroma_format_idc);
    EXPECT_EQ(got.separate_colour_plane_flag, want.separate_colour_plane_flag);
    EXPECT_EQ(got.bit_depth_luma_minus8, want.bit_depth_luma_minus8);
    for (int i = 0; i < H264Sps::kScalingLists; ++i)
        EXPECT_EQ(got.seq_scaling_list_present_flag[i], want.seq_scaling_list_present_flag[i]) << i;
    EXPECT_EQ(got.log2_max_frame_num_minus4, want.log2_max_frame_num_minus4);
    EXPECT_EQ(got.pic_order_cnt_type, want.pic_order_cnt_type);
    EXPECT_EQ(got.log2_max_pic_order_cnt_lsb_minus4, want.pic_order_cnt_type == 0 ? want.log2_max_pic_order_cnt_lsb_minus4 : 0);
    EXPECT_EQ(got.offset_for_non_ref_pic, want.offset_for_non_ref_pic);
    EXPECT_EQ(got.num_ref_frames_in_pic_order_cnt_cycle, in.refFramesInCycle);
    for (int i = 0; i < H264Sps::kRefFramesInCycle; ++i)
        ASSERT_EQ(got.offset_for_ref_frame[i], want.offset_for_ref_frame[i]) << i;
    EXPECT_EQ(got.num_ref_frames, want.num_ref_frames);
    EXPECT_EQ(got.pic_width_in_mbs_minus1, want.pic_width_in_mbs_minus1);
    EXPECT_EQ(got.pic_height_in_map_units_minus1, want.pic_height_in_map_units_minus1);
    EXPECT_EQ(got.frame_mbs_only_flag, want.frame_mbs_only_flag);
    EXPECT_EQ(got.frame_crop_bottom_offset, want.frame_crop_bottom_offset);
    EXPECT_EQ(got.vui.sar_width, want.vui.sar_width);
    EXPECT_EQ(got.vui.time_scale, want.vui.time_scale);
    // The last fields of the unit: every field before them was read in step.
    EXPECT_EQ(got.vui.num_reorder_frames, want.vui.num_reorder_frames);
    EXPECT_EQ(got.vui.max_dec_frame_buffering, want.vui.max_dec_frame_buffering);
    EXPECT_EQ(pictureWidth(got), GetParam().width);
    EXPECT_EQ(pictureHeight(got), GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SequenceParameterSet,
    ::testing::Values(
        SpsCase{"Baseline", [](SpsWrite&) {}, 320, 240},
        SpsCase{"Cropped1080p",
                [](SpsWrite& in) {
                    in.sps.pic_width_in_mbs_minus1 = 119;
                    in.sps.pic_height_in_map_units_minus1 = 67;
                    in.sps.frame_cropping_flag = 1;
                    in.sps.frame_crop_bottom_offset = 4;
                },
                1920, 1080},
        // Field coding doubles the vertical crop unit: 2 x 34 x 16 - 4 x 2.
        SpsCase{"Interlaced1080",
                [](SpsWrite& in) {
                    in.sps.profile_idc = 100;
                    in.sps.pic_width_in_mbs_minus1 = 119;
                    in.sps.pic_height_in_map_units_minus1 = 33;
                    in.sps.frame_mbs_only_flag = 0;
                    in.sps.mb_adaptive_frame_field_flag = 1;
                    in.sps.frame_cropping_flag = 1;
                    in.sps.frame_crop_bottom_offset = 2;
                },
                1920, 1080},
        SpsCase{"High422CropsRowsSingly",
                [](SpsWrite& in) {
                    in.sps.profile_idc = 122;
                    in.sps.chroma_format_idc = 2;
                    in.sps.bit_depth_luma_minus8 = 2;
                    in.sps.pic_width_in_mbs_minus1 = 21;
                    in.sps.pic_height_in_map_units_minus1 = 12;
                    in.sps.frame_cropping_flag = 1;
                    in.sps.frame_crop_right_offset = 1;
                    in.sps.frame_crop_bottom_offset = 10;
                },
                350, 198},
        SpsCase{"High444PredictiveOddSize",
                [](SpsWrite& in) {
                    in.sps.profile_idc = 244;
                    in.sps.chroma_format_idc = 3;
                    in.sps.pic_width_in_mbs_minus1 = 20;
                    in.sps.pic_height_in_map_units_minus1 = 15;
                    in.sps.frame_cropping_flag = 1;
                    in.sps.frame_crop_right_offset = 15;
                    in.sps.frame_crop_bottom_offset = 13;
                },
                321, 243},
        SpsCase{"SeparateColourPlanes",
                [](SpsWrite& in) {
                    in.sps.profile_idc = 244;
                    in.sps.chroma_format_idc = 3;
                    in.sps.separate_colour_plane_flag = 1;
                    in.sps.frame_cropping_flag = 1;
                    in.sps.frame_crop_left_offset = 3;
                },
                317, 240},
        SpsCase{"Monochrome",
                [](SpsWrite& in) {
                    in.sps.profile_idc = 100;
                    in.sps.chroma_format_idc = 0;
                    in.sps.pic_width_in_mbs_minus1 = 20;
                    in.sps.pic_height_in_map_units_minus1 = 15;
                    in.sps.frame_cropping_flag = 1;
                    in.sps.frame_crop_right_offset = 14;
                    in.sps.frame_crop_bottom_offset = 14;
                },
                322, 242},
        SpsCase{"ScalingMatrix420",
                [](SpsWrite& in) {
                    in.sps.profile_idc = 100;
                    in.sps.seq_scaling_matrix_present_flag = 1;
                    for (int i : {0, 1, 5, 6, 7}) in.sps.seq_scaling_list_present_flag[i] = 1;
                },
                320, 240},
        SpsCase{"ScalingMatrix444HasTwelveLists",
                [](SpsWrite& in) {
                    in.sps.profile_idc = 244;
                    in.sps.chroma_format_idc = 3;
                    in.sps.seq_scaling_matrix_present_flag = 1;
                    for (int i : {2, 8, 11}) in.sps.seq_scaling_list_present_flag[i] = 1;
                },
                320, 240},
        SpsCase{"PocType1Cycle",
                [](SpsWrite& in) {
                    in.sps.pic_order_cnt_type = 1;
                    in.sps.offset_for_non_ref_pic = -3;
                    in.refFramesInCycle = 3;
                    in.sps.offset_for_ref_frame[0] = 2;
                    in.sps.offset_for_ref_frame[1] = -5;
                    in.sps.offset_for_ref_frame[2] = 9;
                },
                320, 240},
        // 300 entries: 256 are kept, the rest read so that the later fields stay in step.
        SpsCase{"PocCycleBeyondTable",
                [](SpsWrite& in) {
                    in.sps.pic_order_cnt_type = 1;
                    in.refFramesInCycle = 300;
                    for (int i = 0; i < 256; ++i) in.sps.offset_for_ref_frame[i] = i - 100;
                },
                320, 240},
        SpsCase{"PocType2",
                [](SpsWrite& in) { in.sps.pic_order_cnt_type = 2; }, 320, 240},
        SpsCase{"ExtendedSar",
                [](SpsWrite& in) {
                    in.sps.vui.aspect_ratio_info_present_flag = 1;
                    in.sps.vui.aspect_ratio_idc = 255;
                    in.sps.vui.sar_width = 40;
                    in.sps.vui.sar_height = 33;
                },
                320, 240},
        SpsCase{"HrdParameters", [](SpsWrite& in) { in.nalCpbCount = in.vclCpbCount = 2; }, 320, 240},
        SpsCase{"HrdScheduleBeyondTable", [](SpsWrite& in) { in.nalCpbCount = 40; }, 320, 240},
        SpsCase{"MainProfileHasNoChromaBlock", [](SpsWrite& in) { in.sps.profile_idc = 77; }, 320, 240}),
    caseName<SpsCase>);

TEST(SequenceParameterSet, VclHrdOverwritesNalHrd) {
    SpsWrite in = baseSps();
    in.nalCpbCount = 3;
    in.vclCpbCount = 1;
    H264ParserState state;
    parse(writeSps(in), state);
    const H264Hrd& hrd = state.sps.hrd;
    EXPECT_EQ(hrd.cpb_cnt_minus1, 0u);
    EXPECT_EQ(hrd.bit_rate_value_minus1[0], 2000u);
    EXPECT_EQ(hrd.bit_rate_value_minus1[1], 0u);
    EXPECT_EQ(hrd.time_offset_length, 24u);
    EXPECT_EQ(state.sps.vui.low_delay_hrd_flag, 1u);
}

TEST(SequenceParameterSet, ScheduleCountBeyondTableKeepsTheFirstEntries) {
    SpsWrite in = baseSps();
    in.nalCpbCount = 40;
    H264ParserState state;
    parse(writeSps(in), state);
    EXPECT_EQ(state.sps.hrd.cpb_cnt_minus1, 39u);
    EXPECT_EQ(state.sps.hrd.bit_rate_value_minus1[31], 1031u);
    EXPECT_EQ(state.sps.hrd.cbr_flag[31], 1u);
}

// A cycle count of 2^32 - 1 in a short unit ends with the data instead of looping on zero bits.
TEST(SequenceParameterSet, HugeCountInShortUnitEndsWithTheData) {
    const Bytes unit = nalUnit(0x67, BitWriter().u(8, 66).u(8, 0).u(8, 30).ue(0).ue(0).ue(1).flag(0).se(0).se(0)
                                         .ue(0xFFFFFFFEull).se(4).se(5).data());
    H264ParserState state;
    parse(unit, state);
    EXPECT_EQ(state.sps.num_ref_frames_in_pic_order_cnt_cycle, 0xFFFFFFFEu);
    EXPECT_EQ(state.sps.offset_for_ref_frame[0], 4);
    EXPECT_EQ(state.sps.offset_for_ref_frame[1], 5);
}

// ---------------------------------------------------------------- picture parameter set

struct PpsCase {
    const char* name;
    std::function<void(H264Sps&)> sps;  // the current sequence parameter set
    std::function<void(BitWriter&)> bits;
    std::function<void(const H264Pps&)> check;
};
void PrintTo(const PpsCase& c, std::ostream* os) { *os << c.name; }

class PictureParameterSet : public ::testing::TestWithParam<PpsCase> {};

TEST_P(PictureParameterSet, ReadsFields) {
    H264ParserState state;
    GetParam().sps(state.sps);
    BitWriter w;
    GetParam().bits(w);
    parse(nalUnit(0x68, w.data()), state);
    EXPECT_EQ(state.nal.nal_unit_type, 8u);
    GetParam().check(state.pps);
}

// Fields behind the slice-group map, up to redundant_pic_cnt_present_flag.
void writePpsMiddle(BitWriter& w) { w.ue(2).ue(1).flag(1).u(2, 2).se(-3).se(0).se(4).flag(1).flag(0).flag(1); }

void expectPpsMiddle(const H264Pps& p) {
    EXPECT_EQ(p.num_ref_idx_l0_default_active_minus1, 2u);
    EXPECT_EQ(p.num_ref_idx_l1_default_active_minus1, 1u);
    EXPECT_EQ(p.weighted_pred_flag, 1u);
    EXPECT_EQ(p.weighted_bipred_idc, 2u);
    EXPECT_EQ(p.pic_init_qp_minus26, -3);
    EXPECT_EQ(p.chroma_qp_index_offset, 4);
    EXPECT_EQ(p.deblocking_filter_control_present_flag, 1u);
    EXPECT_EQ(p.redundant_pic_cnt_present_flag, 1u);
}

void sps420(H264Sps& s) { s.chroma_format_idc = 1; }

INSTANTIATE_TEST_SUITE_P(
    Cases, PictureParameterSet,
    ::testing::Values(
        // Only the trailing bits follow: the optional tail is absent.
        PpsCase{"WithoutTail", sps420,
                [](BitWriter& w) {
                    w.ue(3).ue(1).flag(1).flag(1).ue(0);
                    writePpsMiddle(w);
                    w.trailing();
                },
                [](const H264Pps& p) {
                    EXPECT_EQ(p.pic_parameter_set_id, 3u);
                    EXPECT_EQ(p.seq_parameter_set_id, 1u);
                    EXPECT_EQ(p.entropy_coding_mode_flag, 1u);
                    EXPECT_EQ(p.bottom_field_pic_order_in_frame_present_flag, 1u);
                    expectPpsMiddle(p);
                    EXPECT_EQ(p.transform_8x8_mode_flag, 0u);
                    EXPECT_EQ(p.second_chroma_qp_index_offset, 0);
                }},
        PpsCase{"TailWithScalingLists", sps420,
                [](BitWriter& w) {
                    w.ue(0).ue(0).flag(0).flag(0).ue(0);
                    writePpsMiddle(w);
                    w.flag(1).flag(1);
                    for (int i = 0; i < 8; ++i) {  // 6 + 2 lists for 4:2:0 with the 8x8 transform
                        w.flag(i == 6);
                        if (i == 6) writeScalingList(w, i, 64);
                    }
                    w.se(-2).trailing();
                },
                [](const H264Pps& p) {
                    expectPpsMiddle(p);
                    EXPECT_EQ(p.transform_8x8_mode_flag, 1u);
                    EXPECT_EQ(p.pic_scaling_list_present_flag[6], 1u);
                    EXPECT_EQ(p.second_chroma_qp_index_offset, -2);
                }},
        PpsCase{"TailFor444HasTwelveLists", [](H264Sps& s) { s.chroma_format_idc = 3; },
                [](BitWriter& w) {
                    w.ue(0).ue(0).flag(0).flag(0).ue(0);
                    writePpsMiddle(w);
                    w.flag(1).flag(1);
                    for (int i = 0; i < 12; ++i) {
                        w.flag(i == 11);
                        if (i == 11) writeScalingList(w, i, 64);
                    }
                    w.se(5).trailing();
                },
                [](const H264Pps& p) {
                    EXPECT_EQ(p.pic_scaling_list_present_flag[11], 1u);
                    EXPECT_EQ(p.second_chroma_qp_index_offset, 5);
                }},
        PpsCase{"InterleavedSliceGroups", sps420,
                [](BitWriter& w) {
                    w.ue(0).ue(0).flag(0).flag(0).ue(2).ue(0).ue(10).ue(20).ue(30);
                    writePpsMiddle(w);
                    w.trailing();
                },
                [](const H264Pps& p) {
                    EXPECT_EQ(p.num_slice_groups_minus1, 2u);
                    EXPECT_EQ(p.run_length_minus1[0], 10u);
                    EXPECT_EQ(p.run_length_minus1[2], 30u);
                    expectPpsMiddle(p);
                }},
        PpsCase{"InterleavedGroupsBeyondTable", sps420,
                [](BitWriter& w) {
                    w.ue(0).ue(0).flag(0).flag(0).ue(19).ue(0);
                    for (int g = 0; g < 20; ++g) w.ue(g + 1);
                    writePpsMiddle(w);
                    w.trailing();
                },
                [](const H264Pps& p) {
                    EXPECT_EQ(p.run_length_minus1[7], 8u);
                    expectPpsMiddle(p);
                }},
        PpsCase{"ForegroundBoxes", sps420,
                [](BitWriter& w) {
                    w.ue(0).ue(0).flag(0).flag(0).ue(2).ue(2).ue(1).ue(5).ue(7).ue(9);
                    writePpsMiddle(w);
                    w.trailing();
                },
                [](const H264Pps& p) {
                    EXPECT_EQ(p.top_left[1], 7u);
                    EXPECT_EQ(p.bottom_right[1], 9u);
                    expectPpsMiddle(p);
                }},
        PpsCase{"ChangingGroups", sps420,
                [](BitWriter& w) {
                    w.ue(0).ue(0).flag(0).flag(0).ue(1).ue(4).flag(1).ue(99);
                    writePpsMiddle(w);
                    w.trailing();
                },
                [](const H264Pps& p) {
                    EXPECT_EQ(p.slice_group_change_direction_flag, 1u);
                    EXPECT_EQ(p.slice_group_change_rate_minus1, 99u);
                    expectPpsMiddle(p);
                }},
        // 300 explicit ids of Ceil(Log2(3)) = 2 bits: 256 kept, the rest read.
        PpsCase{"ExplicitIdsBeyondTable", sps420,
                [](BitWriter& w) {
                    w.ue(0).ue(0).flag(0).flag(0).ue(2).ue(6).ue(299);
                    for (int i = 0; i < 300; ++i) w.u(2, i % 3);
                    writePpsMiddle(w);
                    w.trailing();
                },
                [](const H264Pps& p) {
                    EXPECT_EQ(p.pic_size_in_map_units_minus1, 299u);
                    EXPECT_EQ(p.slice_group_id[254], 2u);
                    EXPECT_EQ(p.slice_group_id[255], 0u);
                    expectPpsMiddle(p);
                }}),
    caseName<PpsCase>);

// ---------------------------------------------------------------- slice header

struct SliceCase {
    const char* name;
    std::uint8_t header;  // NAL header byte
    std::function<void(H264Sps&, H264Pps&)> sets;
    std::function<void(BitWriter&)> bits;
    std::function<void(const H264SliceHeader&)> check;
};
void PrintTo(const SliceCase& c, std::ostream* os) { *os << c.name; }

class SliceHeader : public ::testing::TestWithParam<SliceCase> {};

TEST_P(SliceHeader, ReadsFields) {
    H264ParserState state;
    state.sps.chroma_format_idc = 1;
    state.sps.frame_mbs_only_flag = 1;
    state.sps.log2_max_frame_num_minus4 = 0;          // frame_num: 4 bits
    state.sps.log2_max_pic_order_cnt_lsb_minus4 = 2;  // pic_order_cnt_lsb: 6 bits
    GetParam().sets(state.sps, state.pps);
    BitWriter w;
    GetParam().bits(w);
    parse(nalUnit(GetParam().header, w.data()), state);
    GetParam().check(state.sh);
}

void noSets(H264Sps&, H264Pps&) {}

INSTANTIATE_TEST_SUITE_P(
    Cases, SliceHeader,
    ::testing::Values(
        SliceCase{"IdrIntra", 0x65, noSets,
                  [](BitWriter& w) { w.ue(0).ue(7).ue(0).u(4, 0).ue(3).u(6, 0).flag(1).flag(1).se(-4); },
                  [](const H264SliceHeader& sh) {
                      EXPECT_EQ(sh.slice_type, 7u);
                      EXPECT_EQ(sh.idr_pic_id, 3u);
                      EXPECT_EQ(sh.drpm.no_output_of_prior_pics_flag, 1u);
                      EXPECT_EQ(sh.drpm.long_term_reference_flag, 1u);
                      EXPECT_EQ(sh.slice_qp_delta, -4);
                  }},
        SliceCase{"PredictedWithReorderingWeightsAndMarking", 0x41,
                  [](H264Sps&, H264Pps& p) {
                      p.weighted_pred_flag = 1;
                      p.entropy_coding_mode_flag = 1;
                      p.deblocking_filter_control_present_flag = 1;
                  },
                  [](BitWriter& w) {
                      w.ue(120).ue(5).ue(0).u(4, 9).u(6, 18);
                      w.flag(1).ue(1);                              // override: two references
                      w.flag(1).ue(0).ue(4).ue(2).ue(6).ue(3);      // reordering, ends with 3
                      w.ue(5).ue(4);                                // weight denominators
                      w.flag(1).se(-3).se(7).flag(0);               // reference 0: luma only
                      w.flag(0).flag(1).se(2).se(-1).se(3).se(-2);  // reference 1: chroma only
                      w.flag(1).ue(1).ue(2).ue(3).ue(3).ue(4).ue(0);  // marking ops 1, 3, end
                      w.ue(2).se(3).ue(0).se(-1).se(2);
                  },
                  [](const H264SliceHeader& sh) {
                      EXPECT_EQ(sh.first_mb_in_slice, 120u);
                      EXPECT_EQ(sh.frame_num, 9u);
                      EXPECT_EQ(sh.pic_order_cnt_lsb, 18u);
                      EXPECT_EQ(sh.num_ref_idx_l0_active_minus1, 1u);
                      EXPECT_EQ(sh.reordering_l0.reordering_of_pic_nums_idc, 3u);
                      EXPECT_EQ(sh.reordering_l0.abs_diff_pic_num_minus1, 4u);
                      EXPECT_EQ(sh.reordering_l0.long_term_pic_num, 6u);
                      EXPECT_EQ(sh.pwt.luma_log2_weight_denom, 5u);
                      EXPECT_EQ(sh.pwt.l0.luma_weight[0], -3);
                      EXPECT_EQ(sh.pwt.l0.luma_offset[0], 7);
                      EXPECT_EQ(sh.pwt.l0.chroma_weight[1][1], 3);
                      EXPECT_EQ(sh.pwt.l0.chroma_offset[1][1], -2);
                      EXPECT_EQ(sh.drpm.memory_management_control_operation, 0u);
                      EXPECT_EQ(sh.drpm.difference_of_pic_nums_minus1, 3u);
                      EXPECT_EQ(sh.drpm.long_term_frame_idx, 4u);
                      EXPECT_EQ(sh.cabac_init_idc, 2u);
                      EXPECT_EQ(sh.slice_qp_delta, 3);
                      EXPECT_EQ(sh.slice_alpha_c0_offset_div2, -1);
                      EXPECT_EQ(sh.slice_beta_offset_div2, 2);
                  }},
        SliceCase{"BidirectionalWithExplicitWeights", 0x01,
                  [](H264Sps&, H264Pps& p) {
                      p.weighted_bipred_idc = 1;
                      p.num_ref_idx_l1_default_active_minus1 = 0;
                  },
                  [](BitWriter& w) {
                      w.ue(0).ue(1).ue(0).u(4, 2).u(6, 4).flag(1).flag(0);
                      w.flag(0).flag(1).ue(2).ue(8).ue(3);          // l0 none, l1 one command
                      w.ue(6).ue(6).flag(1).se(11).se(12).flag(0);  // l0 (default: one reference)
                      w.flag(1).se(21).se(22).flag(0);              // l1
                      w.se(-7);
                  },
                  [](const H264SliceHeader& sh) {
                      EXPECT_EQ(sh.direct_spatial_mv_pred_flag, 1u);
                      EXPECT_EQ(sh.reordering_l1.long_term_pic_num, 8u);
                      EXPECT_EQ(sh.pwt.l0.luma_weight[0], 11);
                      EXPECT_EQ(sh.pwt.l1.luma_offset[0], 22);
                      EXPECT_EQ(sh.slice_qp_delta, -7);
                  }},
        // 100 references with weights: 64 kept, the rest read so that slice_qp_delta stays in step.
        SliceCase{"WeightsBeyondTable", 0x01, [](H264Sps&, H264Pps& p) { p.weighted_pred_flag = 1; },
                  [](BitWriter& w) {
                      w.ue(0).ue(0).ue(0).u(4, 0).u(6, 0).flag(1).ue(99).flag(0).ue(0).ue(0);
                      for (int i = 0; i < 100; ++i) w.flag(1).se(i).se(-i).flag(0);
                      w.se(9);
                  },
                  [](const H264SliceHeader& sh) {
                      EXPECT_EQ(sh.num_ref_idx_l0_active_minus1, 99u);
                      EXPECT_EQ(sh.pwt.l0.luma_weight[63], 63);
                      EXPECT_EQ(sh.slice_qp_delta, 9);
                  }},
        SliceCase{"FieldWithPocType1", 0x21,
                  [](H264Sps& s, H264Pps& p) {
                      s.frame_mbs_only_flag = 0;
                      s.pic_order_cnt_type = 1;
                      p.bottom_field_pic_order_in_frame_present_flag = 1;
                      p.redundant_pic_cnt_present_flag = 1;
                  },
                  [](BitWriter& w) { w.ue(0).ue(2).ue(0).u(4, 1).flag(1).flag(1).se(-6).ue(2).flag(0).se(1); },
                  [](const H264SliceHeader& sh) {
                      EXPECT_EQ(sh.field_pic_flag, 1u);
                      EXPECT_EQ(sh.bottom_field_flag, 1u);
                      EXPECT_EQ(sh.delta_pic_order_cnt[0], -6);
                      EXPECT_EQ(sh.delta_pic_order_cnt[1], 0);  // absent for a field
                      EXPECT_EQ(sh.redundant_pic_cnt, 2u);
                      EXPECT_EQ(sh.slice_qp_delta, 1);
                  }},
        SliceCase{"SwitchingPredicted", 0x01, noSets,
                  [](BitWriter& w) { w.ue(0).ue(3).ue(0).u(4, 0).u(6, 0).flag(0).flag(0).se(2).flag(1).se(-5); },
                  [](const H264SliceHeader& sh) {
                      EXPECT_EQ(sh.sp_for_switch_flag, 1u);
                      EXPECT_EQ(sh.slice_qs_delta, -5);
                  }},
        // 120 x 68 map units at a change rate of 10: Ceil(Log2(816 + 1)) = 10 bits.
        SliceCase{"SliceGroupChangeCycle", 0x01,
                  [](H264Sps& s, H264Pps& p) {
                      s.pic_width_in_mbs_minus1 = 119;
                      s.pic_height_in_map_units_minus1 = 67;
                      p.num_slice_groups_minus1 = 1;
                      p.slice_group_map_type = 4;
                      p.slice_group_change_rate_minus1 = 9;
                  },
                  [](BitWriter& w) { w.ue(0).ue(2).ue(0).u(4, 0).u(6, 0).se(0).u(10, 777); },
                  [](const H264SliceHeader& sh) { EXPECT_EQ(sh.slice_group_change_cycle, 777u); }},
        // Neither command list nor marking loop has its end code: both end with the data.
        SliceCase{"LoopsEndWithTheData", 0x41, noSets,
                  [](BitWriter& w) { w.ue(0).ue(0).ue(0).u(4, 0).u(6, 0).flag(0).flag(1).ue(0).ue(1); },
                  [](const H264SliceHeader& sh) { EXPECT_EQ(sh.reordering_l0.abs_diff_pic_num_minus1, 1u); }},
        SliceCase{"AuxiliarySlice", 0x13, noSets, [](BitWriter& w) { w.ue(4).ue(2); },
                  [](const H264SliceHeader& sh) { EXPECT_EQ(sh.first_mb_in_slice, 4u); }}),
    caseName<SliceCase>);

// ---------------------------------------------------------------- delimiter, SEI, other kinds

TEST(AccessUnitDelimiter, ReadsPrimaryPictureType) {
    for (std::uint32_t type = 0; type < 8; ++type) {
        H264ParserState state;
        parse({0x09, std::uint8_t(type << 5 | 0x10)}, state);
        EXPECT_EQ(state.aud.primary_pic_type, type);
    }
}

struct SeiCase {
    const char* name;
    Bytes rbsp;
    std::vector<std::uint32_t> types;
    std::vector<std::uint32_t> sizes;
    Bytes lastPayload;
};
void PrintTo(const SeiCase& c, std::ostream* os) { *os << c.name; }

class Sei : public ::testing::TestWithParam<SeiCase> {};

TEST_P(Sei, ReadsMessagesToTheEnd) {
    const SeiCase& c = GetParam();
    H264ParserState state;
    parse(Bytes{0x06, 0x01, 0x01, 0x09}, state);  // an earlier SEI's list is emptied
    parse(nalUnit(0x06, c.rbsp), state);
    ASSERT_EQ(state.sei.messages.size(), c.types.size());
    for (std::size_t i = 0; i < c.types.size(); ++i) {
        EXPECT_EQ(state.sei.messages[i].payloadType, c.types[i]) << i;
        EXPECT_EQ(state.sei.messages[i].payloadSize, c.sizes[i]) << i;
    }
    EXPECT_EQ(state.sei.current.payload, c.lastPayload);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Sei,
    ::testing::Values(
        // The trailing byte 80 reads as one more message of type 128 and size 0.
        SeiCase{"OneMessageAndTrailingByte", {0x05, 0x03, 0xAA, 0xBB, 0xCC, 0x80}, {5, 128}, {3, 0}, {}},
        SeiCase{"TwoMessages", {0x01, 0x02, 0x11, 0x22, 0x04, 0x01, 0x33}, {1, 4}, {2, 1}, {0x33}},
        SeiCase{"ExtendedTypeAndSize", Bytes{0xFF, 0x02, 0xFF, 0x01, 0x7E}, {257}, {256}, {0x7E}},
        // A size beyond the unit keeps the bytes that exist.
        SeiCase{"SizeBeyondUnit", {0x05, 0xC8, 0x01, 0x02}, {5}, {200}, {0x01, 0x02}}),
    caseName<SeiCase>);

TEST(NalUnit, EachKindOverwritesOnlyItsOwnRecord) {
    H264ParserState state;
    SpsWrite in = baseSps();
    parse(writeSps(in), state);
    parse(nalUnit(0x68, BitWriter().ue(5).ue(1).flag(0).flag(0).ue(0).ue(0).ue(0).flag(0).u(2, 0).se(0).se(0).se(0)
                            .flag(0).flag(0).flag(0).trailing().data()),
          state);
    parse({0x09, 0x30}, state);
    parse({0x6E, 0x12, 0x34}, state);  // type 14: no reader, stops after the header
    EXPECT_EQ(state.nal.nal_unit_type, 14u);
    EXPECT_EQ(state.nal.nal_ref_idc, 3u);
    EXPECT_EQ(state.sps.pic_width_in_mbs_minus1, 19u);
    EXPECT_EQ(state.pps.pic_parameter_set_id, 5u);
    EXPECT_EQ(state.aud.primary_pic_type, 1u);

    parse(writeSps(baseSps()), state);  // a new SPS replaces the whole record
    EXPECT_EQ(state.pps.pic_parameter_set_id, 5u);
}

}  // namespace
