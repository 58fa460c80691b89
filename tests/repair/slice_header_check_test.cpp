// Slices known by their header alone: every slice an encoder writes parses against the
// reference's parameter sets, whatever its frame_num or idr_pic_id, and a header that breaks a
// rule of the syntax, or names a parameter set the reference does not have, does not.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "media/start_codes.h"
#include "mp4/nal_header.h"
#include "repair/slice_header_check.h"
#include "tests/repair/recovery_harness.h"
#include "tests/support/h264_bit_writer.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"

namespace {

using namespace testsupport;

std::string asText(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A 320x240 stream's parameter sets: frame_num in 4 bits, picture order type 2.
std::string parameterSets(bool cabac) {
    BitWriter sps;
    sps.u(8, cabac ? 77 : 66).u(8, 0).u(8, 30).ue(0).ue(0).ue(2).ue(1).u(1, 0).ue(19).ue(14).u(1, 1).u(1, 1).u(1, 0).u(1, 0)
        .trailing();
    BitWriter pps;
    pps.ue(0).ue(0).u(1, cabac ? 1 : 0).u(1, 0).ue(0).ue(0).ue(0).u(1, 0).u(2, 0).se(0).se(0).se(0).u(1, 1).u(1, 0).u(1, 0)
        .trailing();
    return asText(annexB(nalUnit(0x67, sps.data()))) + asText(annexB(nalUnit(0x68, pps.data())));
}

struct SliceFields {
    std::uint8_t header = 0x41;  // nal_ref_idc 2, type 1
    std::uint32_t firstMb = 0;
    std::uint32_t sliceType = 5;  // P, every slice of the picture
    std::uint32_t pps = 0;
    std::uint32_t frameNum = 9;
    std::uint32_t idrPicId = 1;
    std::uint32_t cabacInit = 0;
    std::int32_t qpDelta = 2;
    std::uint32_t deblocking = 0;
    std::int32_t alpha = 0;
    bool alignmentOnes = true;
};

// A slice unit with the fields of `f`, then slice data bytes.
std::vector<std::uint8_t> slice(const SliceFields& f, bool cabac) {
    const bool idr = mp4::nalTypeOf(f.header, false) == 5;
    const std::uint32_t type = f.sliceType % 5;
    BitWriter w;
    w.ue(f.firstMb).ue(f.sliceType).ue(f.pps).u(4, f.frameNum);
    if (idr) w.ue(f.idrPicId);
    if (type == 0) w.u(1, 0).u(1, 0);  // no override, no reordering
    if ((f.header >> 5) != 0) w.u(idr ? 2 : 1, 0);  // dec_ref_pic_marking
    if (cabac && type != 2) w.ue(f.cabacInit);
    w.se(f.qpDelta).ue(f.deblocking);
    if (f.deblocking != 1) w.se(f.alpha).se(0);
    while (cabac && w.bitCount() % 8 != 0) w.u(1, f.alignmentOnes ? 1 : 0);
    for (int i = 0; i < 120; ++i) w.u(8, 0x11 + (i * 37) % 200);
    return nalUnit(f.header, w.data());
}

struct Case {
    const char* name;
    bool cabac;
    SliceFields fields;
    bool parses;
};

SliceFields with(void (*change)(SliceFields&)) {
    SliceFields f;
    change(f);
    return f;
}

const Case kCases[] = {
    {"P slice, CAVLC", false, {}, true},
    {"P slice, CABAC", true, {}, true},
    {"IDR with another idr_pic_id", true, with([](SliceFields& f) { f.header = 0x65; f.sliceType = 7; f.idrPicId = 1; }), true},
    {"IDR, frame_num high bit", false, with([](SliceFields& f) { f.header = 0x65; f.sliceType = 7; f.frameNum = 8; }), true},
    {"second slice of the picture", true, with([](SliceFields& f) { f.firstMb = 150; }), true},
    {"first macroblock past the picture", true, with([](SliceFields& f) { f.firstMb = 300; }), false},
    {"IDR coded as P", true, with([](SliceFields& f) { f.header = 0x65; f.sliceType = 5; }), false},
    {"IDR without nal_ref_idc", false, with([](SliceFields& f) { f.header = 0x05; f.sliceType = 7; }), false},
    {"slice type 10", false, with([](SliceFields& f) { f.sliceType = 10; }), false},
    {"unknown picture parameter set", true, with([](SliceFields& f) { f.pps = 1; }), false},
    {"cabac_init_idc 3", true, with([](SliceFields& f) { f.cabacInit = 3; }), false},
    {"QP above 51", true, with([](SliceFields& f) { f.qpDelta = 26; }), false},
    {"deblocking idc 3", false, with([](SliceFields& f) { f.deblocking = 3; }), false},
    {"alpha offset 7", false, with([](SliceFields& f) { f.alpha = 7; }), false},
    {"CABAC alignment bits zero", true, with([](SliceFields& f) { f.alignmentOnes = false; f.qpDelta = 1; }), false},
    {"not a slice (SEI)", false, with([](SliceFields& f) { f.header = 0x06; }), false},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class WrittenSliceHeaders : public ::testing::TestWithParam<Case> {};

TEST_P(WrittenSliceHeaders, ParseOnlyWithinTheReferencesSyntax) {
    const Case& c = GetParam();
    SliceHeaderCheck check;
    check.build(parameterSets(c.cabac), false);
    const std::vector<std::uint8_t> unit = slice(c.fields, c.cabac);
    EXPECT_EQ(check.parses(unit.data(), std::int64_t(unit.size())), c.parses);
}

INSTANTIATE_TEST_SUITE_P(Fields, WrittenSliceHeaders, ::testing::ValuesIn(kCases));

TEST(SliceHeaderCheck, NothingParsesWithoutParameterSets) {
    SliceHeaderCheck check;
    check.build("", false);
    const std::vector<std::uint8_t> unit = slice({}, false);
    EXPECT_FALSE(check.parses(unit.data(), std::int64_t(unit.size())));
}

// Every picture slice an encoder writes parses against the parameter sets of the stream's start,
// and no other unit does.
class EncodedSlices : public ::testing::TestWithParam<VideoCodec> {};

TEST_P(EncodedSlices, EverySliceOfTheStreamParses) {
    const bool hevc = GetParam() == VideoCodec::H265;
    ClipSettings settings = clipSettings(GetParam(), AudioCodec::None, Container::Mp4,
                                         hevc ? std::vector<std::string>{"-x265-params", "log-level=error:keyint=10"}
                                              : std::vector<std::string>{"-g", "10", "-bf", "3"});
    const std::string file = clip(settings);
    ASSERT_FALSE(file.empty());
    TempDir dir;
    const std::string stream = recovery::copyPackets(
        file, 50, {"-bsf:v", hevc ? "hevc_mp4toannexb" : "h264_mp4toannexb", "-f", hevc ? "hevc" : "h264"},
        dir.file("stream.raw"));
    std::string header;
    // The converted stream mixes three- and four-byte start codes.
    std::vector<NalRange> ranges;
    splitNalUnits(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size(), ranges);
    std::vector<std::string> units;
    for (const NalRange& r : ranges) units.push_back(stream.substr(r.begin, r.end - r.begin));
    int slices = 0;
    int idrOrIrap = 0;
    SliceHeaderCheck check;
    for (const std::string& unit : units) {
        const int type = recovery::nalType(unit, hevc);
        if (hevc ? type >= 32 && type <= 34 : type == 7 || type == 8)
            header += std::string("\0\0\0\1", 4) + unit;
    }
    check.build(header, hevc);
    for (const std::string& unit : units) {
        const bool picture = recovery::isPicture(unit, hevc);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(unit.data());
        EXPECT_EQ(check.parses(bytes, std::int64_t(unit.size())), picture)
            << "unit of type " << recovery::nalType(unit, hevc) << ", " << unit.size() << " bytes";
        slices += picture;
        const int type = recovery::nalType(unit, hevc);
        idrOrIrap += hevc ? type >= 16 && type <= 21 : type == 5;
    }
    EXPECT_EQ(slices, 50);
    EXPECT_GE(idrOrIrap, 4) << "key pictures with their own idr_pic_id or order counts";
}

INSTANTIATE_TEST_SUITE_P(Encoders, EncodedSlices, ::testing::Values(VideoCodec::H264, VideoCodec::H265),
                         [](const auto& info) { return info.param == VideoCodec::H265 ? "x265" : "x264"; });

}  // namespace
