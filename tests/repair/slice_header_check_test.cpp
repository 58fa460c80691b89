// Slices known by their header alone: every slice an encoder writes parses against the
// reference's parameter sets, whatever its frame_num or idr_pic_id, and a header that breaks a
// rule of the syntax, or names a parameter set the reference does not have, does not. H.265
// headers are read on to their entry points, which are known only where every field before
// them was read for certain.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "media/start_codes.h"
#include "mp4/bit_reader.h"
#include "mp4/hevc_config.h"
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

// The first `packets` pictures of `file`'s video as an Annex B stream: its NAL units (without
// start codes) and its parameter sets as the check is built from them.
struct Stream {
    std::vector<std::string> units;
    std::string parameterSets;
};

Stream streamOf(const std::string& file, int packets, bool hevc) {
    TempDir dir;
    const std::string stream = recovery::copyPackets(
        file, packets, {"-bsf:v", hevc ? "hevc_mp4toannexb" : "h264_mp4toannexb", "-f", hevc ? "hevc" : "h264"},
        dir.file("stream.raw"));
    Stream out;
    // The converted stream mixes three- and four-byte start codes.
    std::vector<NalRange> ranges;
    splitNalUnits(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size(), ranges);
    for (const NalRange& r : ranges) {
        out.units.push_back(stream.substr(r.begin, r.end - r.begin));
        if (mp4::isParameterSetType(recovery::nalType(out.units.back(), hevc), hevc))
            out.parameterSets += std::string("\0\0\0\1", 4) + out.units.back();
    }
    return out;
}

const std::uint8_t* bytesOf(const std::string& unit) { return reinterpret_cast<const std::uint8_t*>(unit.data()); }

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
    const Stream stream = streamOf(file, 50, hevc);
    const std::vector<std::string>& units = stream.units;
    int slices = 0;
    int idrOrIrap = 0;
    SliceHeaderCheck check;
    check.build(stream.parameterSets, hevc);
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

// x265's slice segments read to their entry points: with wavefronts (x265's default) one for
// each CTB row a segment spans beyond its first, without them none. Every field before the
// count (the reference sets in the header, the weight tables, the deblocking and loop-filter
// flags) is read, and the alignment bits behind the offsets check the read.
struct SegmentCase {
    const char* name;
    int width;
    int height;
    const char* x265;  // parameters beyond the one-thread ones
    std::size_t segmentsPerPicture;
    bool rowEntryPoints;
};

void PrintTo(const SegmentCase& c, std::ostream* os) { *os << c.name; }

ClipSettings x265Clip(int width, int height, const std::string& parameters) {
    const std::string oneThread = "log-level=error:pools=1:frame-threads=1:keyint=10";
    ClipSettings settings =
        clipSettings(VideoCodec::H265, AudioCodec::None, Container::Mp4,
                     {"-x265-params", oneThread + (parameters.empty() ? "" : ":" + parameters)});
    settings.width = width;
    settings.height = height;
    return settings;
}

class X265SliceSegments : public ::testing::TestWithParam<SegmentCase> {};

TEST_P(X265SliceSegments, CarryTheirEntryPoints) {
    const SegmentCase& c = GetParam();
    const std::string file = clip(x265Clip(c.width, c.height, c.x265));
    ASSERT_FALSE(file.empty());
    const int pictures = 30;
    const Stream stream = streamOf(file, pictures, true);
    SliceHeaderCheck check;
    check.build(stream.parameterSets, true);
    // x265's CTBs are 64 samples on a side.
    const std::uint32_t wide = std::uint32_t(c.width + 63) / 64;
    const std::uint32_t high = std::uint32_t(c.height + 63) / 64;
    std::vector<std::vector<SliceInfo>> segments;
    for (const std::string& unit : stream.units) {
        if (!recovery::isPicture(unit, true)) continue;
        SliceInfo info;
        ASSERT_TRUE(check.parses(bytesOf(unit), std::int64_t(unit.size()), &info));
        EXPECT_TRUE(info.entryPointsKnown) << "segment " << segments.size() << " at CTB " << info.segmentAddress;
        EXPECT_EQ(info.rowEntryPoints, c.rowEntryPoints);
        EXPECT_EQ(info.ctbsWide, wide);
        EXPECT_EQ(info.ctbsHigh, high);
        if (info.firstInPicture) segments.emplace_back();
        ASSERT_FALSE(segments.empty());
        segments.back().push_back(info);
    }
    ASSERT_EQ(segments.size(), std::size_t(pictures));
    for (const std::vector<SliceInfo>& picture : segments) {
        ASSERT_EQ(picture.size(), c.segmentsPerPicture);
        for (std::size_t i = 0; i < picture.size(); ++i) {
            const std::uint32_t start = picture[i].segmentAddress;
            const std::uint32_t end = i + 1 < picture.size() ? picture[i + 1].segmentAddress : wide * high;
            EXPECT_EQ(start % wide, 0u) << "x265 starts its slices at rows";
            ASSERT_LT(start, end);
            EXPECT_EQ(picture[i].entryPoints, c.rowEntryPoints ? (end - 1) / wide - start / wide : 0u)
                << "segment " << i << " at CTB " << start;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clips, X265SliceSegments,
    ::testing::Values(SegmentCase{"wavefronts", 320, 240, "", 1, true},
                      SegmentCase{"wavefronts_in_four_slices", 320, 480, "slices=4", 4, true},
                      SegmentCase{"without_wavefronts", 320, 240, "wpp=0", 1, false},
                      SegmentCase{"weighted_bipredictive_slices", 320, 240, "weightb=1:b-pyramid=1:ref=4", 1, true},
                      SegmentCase{"deblocking_offsets", 320, 240, "deblock=-2,1", 1, true},
                      SegmentCase{"without_deblocking_or_sao", 320, 240, "no-deblock=1:sao=0", 1, true},
                      SegmentCase{"one_reference_without_sao", 320, 240, "ref=1:sao=0", 1, true},
                      SegmentCase{"buffering_parameters", 320, 240, "hrd=1:vbv-bufsize=1000:vbv-maxrate=1000", 1,
                                  true}),
    [](const auto& info) { return std::string(info.param.name); });

// A header cut before its entry point count gives no count, never a wrong one: the bytes read
// may end anywhere in it.
TEST(X265SliceSegments, AHeaderCutShortGivesNoCount) {
    const std::string file = clip(x265Clip(320, 240, ""));
    ASSERT_FALSE(file.empty());
    const Stream stream = streamOf(file, 10, true);
    SliceHeaderCheck check;
    check.build(stream.parameterSets, true);
    int notKnown = 0;
    for (const std::string& unit : stream.units) {
        if (!recovery::isPicture(unit, true)) continue;
        SliceInfo whole;
        ASSERT_TRUE(check.parses(bytesOf(unit), std::int64_t(unit.size()), &whole));
        ASSERT_TRUE(whole.entryPointsKnown);
        for (std::int64_t size = 4; size < std::int64_t(unit.size()) && size <= 96; ++size) {
            SliceInfo cut;
            const bool parsed = check.parses(bytesOf(unit), size, &cut);
            if (cut.entryPointsKnown)
                EXPECT_EQ(cut.entryPoints, whole.entryPoints) << size << " bytes";
            else
                notKnown += parsed;
        }
    }
    EXPECT_GT(notKnown, 0) << "no header parsed without its entry points";
}

// Slices read against parameter sets they were not written with: x265's slices of four to a
// picture leave out the loop-filter flag the one-slice stream's PPS announces, so every field
// behind it is read a bit off. The alignment bits behind the offsets break, and the count
// read is not taken for one.
TEST(X265SliceSegments, HeadersReadOffTheirFieldsGiveNoCount) {
    const std::string sliced = clip(x265Clip(320, 240, "slices=4"));
    const std::string whole = clip(x265Clip(320, 240, ""));
    ASSERT_FALSE(sliced.empty());
    ASSERT_FALSE(whole.empty());
    SliceHeaderCheck check;
    check.build(streamOf(whole, 1, true).parameterSets, true);
    int read = 0;
    for (const std::string& unit : streamOf(sliced, 20, true).units) {
        if (!recovery::isPicture(unit, true)) continue;
        SliceInfo info;
        if (!check.parses(bytesOf(unit), std::int64_t(unit.size()), &info)) continue;
        ++read;
        EXPECT_FALSE(info.entryPointsKnown) << "segment at CTB " << info.segmentAddress << ": "
                                            << info.entryPoints << " entry points";
    }
    EXPECT_GE(read, 20);
}

// Short-term reference sets as an SPS and a slice header give them: explicit ones, and ones
// predicted from an earlier set, whose pictures move by the prediction's distance and are kept
// or dropped by their flags.
TEST(HevcRefPicSets, ReadExplicitAndPredicted) {
    BitWriter w;
    // Set 0: two pictures before (-1, -3), one after (+2), all used.
    w.ue(2).ue(1).ue(0).u(1, 1).ue(1).u(1, 1).ue(1).u(1, 1);
    // Set 1, from set 0 moved by -1: -2 used, -4 dropped, +1 kept unused, set 0's own picture
    // (-1) used.
    w.u(1, 1).u(1, 1).ue(0);
    w.u(1, 1).u(1, 0).u(1, 0).u(1, 0).u(1, 1).u(1, 1);
    // A slice header's set, from set 0 (two back) moved by +2, every picture used.
    w.u(1, 1).ue(1).u(1, 0).ue(1);
    w.u(1, 1).u(1, 1).u(1, 1).u(1, 1);
    w.u(8, 0xFF);
    const std::vector<std::uint8_t> bits = w.data();
    mp4::BitReader r(bits.data(), bits.size());
    std::vector<mp4::HevcRefPicSet> sets(2);
    ASSERT_TRUE(mp4::readHevcRefPicSet(r, {}, false, sets[0]));
    ASSERT_TRUE(mp4::readHevcRefPicSet(r, {sets[0]}, false, sets[1]));
    mp4::HevcRefPicSet own;
    ASSERT_TRUE(mp4::readHevcRefPicSet(r, sets, true, own));
    using Pictures = std::vector<std::pair<std::int32_t, bool>>;
    auto pictures = [](const std::vector<mp4::HevcRefPicSet::Picture>& side) {
        Pictures out;
        for (const mp4::HevcRefPicSet::Picture& p : side) out.emplace_back(p.delta, p.used);
        return out;
    };
    EXPECT_EQ(pictures(sets[0].before), (Pictures{{-1, true}, {-3, true}}));
    EXPECT_EQ(pictures(sets[0].after), (Pictures{{2, true}}));
    EXPECT_EQ(pictures(sets[1].before), (Pictures{{-1, true}, {-2, true}}));
    EXPECT_EQ(pictures(sets[1].after), (Pictures{{1, false}}));
    EXPECT_EQ(sets[1].usedByCurrent(), 2);
    EXPECT_EQ(pictures(own.before), (Pictures{{-1, true}}));
    EXPECT_EQ(pictures(own.after), (Pictures{{1, true}, {2, true}, {4, true}}));
    EXPECT_EQ(own.usedByCurrent(), 4);

    // A slice header's set predicted from one before the SPS's first is refused.
    BitWriter beyond;
    beyond.u(1, 1).ue(2).u(1, 0).ue(0).u(8, 0xFF);
    const std::vector<std::uint8_t> beyondBits = beyond.data();
    mp4::BitReader b(beyondBits.data(), beyondBits.size());
    EXPECT_FALSE(mp4::readHevcRefPicSet(b, sets, true, own));
}

}  // namespace
