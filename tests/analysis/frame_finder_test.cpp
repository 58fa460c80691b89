// The frame finder on small hand-made windows: what it recognises, what it refuses, and the
// score's bounds.
#include "analysis/frame_finder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/analysis/length_prefixed.h"

namespace {

using testsupport::allow;
using testsupport::be32;
using testsupport::Bytes;
using testsupport::cat;
using testsupport::unit;

DiagPreset h264Preset() {
    DiagPreset p;
    allow(p, 1, 20, 1000, {0x419A});
    allow(p, 5, 20, 5000, {0x658880});
    allow(p, 7, 8, 200, {0x6742});
    return p;
}

DiagPreset h265Preset() {
    DiagPreset p;
    p.isHEVC = true;
    allow(p, 1, 100, 5000, {0x0201});
    allow(p, 19, 100, 5000, {0x2601});
    return p;
}

struct Walked {
    float score;
    std::vector<UnitRecord> units;
};

Walked walk(const Bytes& window, DiagPreset preset, std::int64_t mdatOffset = 0, std::int64_t windowSize = -1,
            const std::string& camera = "") {
    std::atomic<bool> stop{false};
    const FrameWindow w{window.data(), std::int64_t(window.size()), windowSize < 0 ? std::int64_t(window.size()) : windowSize,
                        mdatOffset};
    PresetMatch match = walkPreset(w, preset, camera, stop);
    return {match.score, std::move(match.units)};
}


TEST(FrameFinder, DelimiterThenUnitsAreRecognisedWhole) {
    const Bytes window = cat({{0, 0, 0, 2, 0x09, 0x10}, unit(30, {0x65, 0x88, 0x80}), unit(40, {0x41, 0x9A})});
    const Walked w = walk(window, h264Preset());
    EXPECT_EQ(w.units, (std::vector<UnitRecord>{{9, 4, 2}, {5, 10, 30}, {1, 44, 40}}));
    EXPECT_FLOAT_EQ(w.score, 100.0f);
}

TEST(FrameFinder, DelimiterBeatsASpecialPacket) {
    // For this camera name the bytes "crec" at +12 make a special packet of W0 = 2 bytes; the
    // delimiter reading wins and counts its 6 bytes.
    const Bytes window = cat({{0, 0, 0, 2, 0x09, 0x10}, Bytes(6, 0x77), {'c', 'r', 'e', 'c'}, Bytes(4, 0x77)});
    const Walked w = walk(window, h264Preset(), 0, -1, "iphone");
    ASSERT_FALSE(w.units.empty());
    EXPECT_EQ(w.units[0], (UnitRecord{9, 4, 2}));
}

struct MatchCase {
    const char* name;
    bool hevc;
    Bytes window;
    bool recognised;
};
void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.name; }

class UnitTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(UnitTest, RecognisesOrRefuses) {
    const MatchCase& c = GetParam();
    const Walked w = walk(c.window, c.hevc ? h265Preset() : h264Preset());
    const bool first = !w.units.empty() && w.units[0].offset == 4;
    EXPECT_EQ(first, c.recognised);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnitTest,
    ::testing::Values(
        MatchCase{"IdrOnThreeBytes", false, unit(30, {0x65, 0x88, 0x80}), true},
        MatchCase{"IdrThirdByteDiffers", false, unit(30, {0x65, 0x88, 0x84}), false},
        MatchCase{"SliceOnTwoBytes", false, unit(30, {0x41, 0x9A, 0x13}), true},
        // Every H.264 lower bound is halved: 8 becomes 4.
        MatchCase{"SpsOfFourBytes", false, unit(4, {0x67, 0x42}), true},
        MatchCase{"SpsOfThreeBytes", false, unit(3, {0x67, 0x42}), false},
        MatchCase{"AboveMaximum", false, unit(1001, {0x41, 0x9A}), false},
        MatchCase{"ZeroLength", false, cat({be32(0), {0x41, 0x9A}, Bytes(10, 0)}), false},
        MatchCase{"ForbiddenBitSet", false, unit(30, {0xC1, 0x9A}), false},
        MatchCase{"TypeWithoutEntry", false, unit(30, {0x46, 0x9A}), false},
        MatchCase{"WordNotListed", false, unit(30, {0x41, 0x9B}), false},
        MatchCase{"HeaderPastTheEnd", false, cat({be32(2), {0x41}}), false},
        MatchCase{"LengthWordPastTheEnd", false, {0, 0, 0}, false},
        // H.265 halves only for types 1 and 5.
        MatchCase{"HevcTrailingSliceHalved", true, unit(50, {0x02, 0x01}), true},
        MatchCase{"HevcIdrNotHalved", true, unit(50, {0x26, 0x01}), false},
        MatchCase{"HevcIdrInRange", true, unit(150, {0x26, 0x01}), true}),
    [](const ::testing::TestParamInfo<MatchCase>& info) { return std::string(info.param.name); });

TEST(FrameFinder, ContainerBoxIsSteppedOverAndCounted) {
    const Bytes window = cat({be32(24), {'f', 'r', 'e', 'e'}, Bytes(16, 0x33), unit(30, {0x41, 0x9A})});
    const Walked w = walk(window, h264Preset());
    EXPECT_EQ(w.units, (std::vector<UnitRecord>{{1, 28, 30}}));
    EXPECT_FLOAT_EQ(w.score, 100.0f);
}

TEST(FrameFinder, UnknownBytesLowerTheScore) {
    const Bytes window = cat({Bytes(66, 0xEE), unit(30, {0x41, 0x9A})});
    EXPECT_NEAR(walk(window, h264Preset()).score, 34.0f, 0.01f);
}

TEST(FrameFinder, ScoreCountsFromTheMediaDataOffsetOverTheWholeWindow) {
    // Half the window's size holds recognised data: about 50.
    Bytes window;
    while (window.size() < std::size_t(kDiagWindowSize / 2)) {
        const Bytes u = unit(996, {0x41, 0x9A});
        window.insert(window.end(), u.begin(), u.end());
    }
    const Walked w = walk(window, h264Preset(), 0, kDiagWindowSize);
    EXPECT_NEAR(w.score, 50.0f, 0.1f);
}

TEST(FrameFinder, OnlyBytesInsideTheWindowCount) {
    // A unit and a box whose lengths run past the bytes read count only what was read.
    const std::vector<Bytes> windows = {
        cat({be32(900), {0x41, 0x9A}, Bytes(100, 1)}),
        cat({be32(5000), {'s', 'k', 'i', 'p'}, Bytes(100, 1)}),
        cat({be32(16), be32(17), be32(18), be32(19), be32(20), be32(21), be32(22)}),  // counting run to the end
    };
    for (const Bytes& window : windows) {
        const Walked w = walk(window, h264Preset());
        EXPECT_GT(w.score, 0.0f);
        EXPECT_LE(w.score, 100.0f);
    }
}

TEST(FrameFinder, MediaDataOffsetAtOrPastTheBytesReadScoresZero) {
    const Bytes window = unit(30, {0x41, 0x9A});
    for (std::int64_t offset : {std::int64_t(window.size()), std::int64_t(window.size()) + 100}) {
        std::atomic<bool> stop{false};
        // Window size equal to the offset: no division by zero either.
        const FrameWindow w{window.data(), std::int64_t(window.size()), offset, offset};
        const PresetMatch match = walkPreset(w, h264Preset(), "", stop);
        EXPECT_EQ(match.score, 0.0f);
        EXPECT_TRUE(match.units.empty());
    }
}

// A stopped walk says so, and its score is none: the scoring takes nothing of it.
TEST(FrameFinder, StopRequestEndsTheWalkWithoutAScore) {
    const Bytes window = unit(30, {0x41, 0x9A});
    std::atomic<bool> stop{true};
    const FrameWindow w{window.data(), std::int64_t(window.size()), std::int64_t(window.size()), 0};
    const PresetMatch match = walkPreset(w, h264Preset(), "", stop);
    EXPECT_TRUE(match.stopped);
    EXPECT_EQ(match.score, 0.0f);
}

}  // namespace
