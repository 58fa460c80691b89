#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reference/nal_statistics.h"
#include "tests/mp4/box_builder.h"

using namespace boxes;

namespace {

struct Walked {
    AnalysisResult result;
    TrackRecord track;
};

Walked walkAvc(const std::string& sample, unsigned lengthSize) {
    Walked w;
    walkAvcNalUnits(reinterpret_cast<const std::uint8_t*>(sample.data()), sample.size(), lengthSize, w.track, w.result);
    return w;
}

Walked walkHevc(const std::string& sample, unsigned lengthSize) {
    Walked w;
    walkHevcNalUnits(reinterpret_cast<const std::uint8_t*>(sample.data()), sample.size(), lengthSize, w.track, w.result);
    return w;
}

std::string prefix(std::uint32_t size, unsigned lengthSize) {
    return lengthSize == 1 ? u8(size) : lengthSize == 2 ? u16(size) : u32(size);
}

}  // namespace

TEST(WalkAvcNalUnits, HeaderWordsAndSizesByType) {
    // SEI, IDR slice (three-byte word), and two non-IDR slices of different sizes.
    const std::string sample = u32(3) + bytes({0x06, 0x05, 0x01}) + u32(5) + bytes({0x65, 0x88, 0x80, 0x10, 0x20}) +
                               u32(4) + bytes({0x41, 0x9A, 0x20, 0x00}) + u32(6) + bytes({0x41, 0x9A, 0x40, 0, 0, 0});
    const Walked w = walkAvc(sample, 4);
    EXPECT_EQ(w.result.nalStats[5].headerWords, std::vector<std::uint32_t>{0x658880});
    EXPECT_EQ(w.result.nalStats[5].minSize, 5u);
    EXPECT_EQ(w.result.nalStats[1].headerWords, std::vector<std::uint32_t>{0x419A});
    EXPECT_EQ(w.result.nalStats[1].minSize, 4u);
    EXPECT_EQ(w.result.nalStats[1].maxSize, 6u);
    EXPECT_EQ(w.result.nalStats[6].headerWords, std::vector<std::uint32_t>{0x0605});
    EXPECT_FALSE(w.result.nalStats[7].seen());
    ASSERT_EQ(w.track.nalList.size(), 4u);
    EXPECT_EQ(w.track.nalList[0].sliceType, -1);
    EXPECT_EQ(w.track.nalList[1].sliceType, -1);
    EXPECT_EQ(w.track.nalList[2].type, 1);
    EXPECT_EQ(w.track.nalList[2].sliceType, 5);
    EXPECT_EQ(w.track.nalList[2].headerWord, 0x419Au);
    EXPECT_EQ(w.track.nalList[2].size, 4u);
}

// A hostile reference can show a new header word in every unit: the list stops at its bound
// while sizes and units go on being counted.
TEST(WalkAvcNalUnits, DistinctHeaderWordsStopAtTheBound) {
    const std::uint32_t units = 3000;
    std::string sample;
    for (std::uint32_t i = 0; i < units; ++i)
        sample += u32(3 + i % 5) + bytes({0x65, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)}) +
                  std::string(i % 5, '\0');
    const Walked w = walkAvc(sample, 4);
    const NalTypeStats& idr = w.result.nalStats[5];
    ASSERT_EQ(idr.headerWords.size(), HeaderWordList::kMaxHeaderWords);
    EXPECT_EQ(idr.headerWords[0], 0x650000u);
    EXPECT_EQ(idr.headerWords[HeaderWordList::kMaxHeaderWords - 1], 0x650000u + HeaderWordList::kMaxHeaderWords - 1);
    EXPECT_EQ(idr.minSize, 3u);
    EXPECT_EQ(idr.maxSize, 7u);
    EXPECT_EQ(w.track.nalList.size(), units);
}

TEST(WalkAvcNalUnits, SliceTypeOfNonIdrSlices) {
    struct Case {
        const char* name;
        std::string unit;  // header byte and what follows, inside a 4-byte-length sample
        std::int32_t sliceType;
    };
    const Case cases[] = {
        // first_mb 0 ("1"), slice_type 5 ("00110")
        {"P slice", bytes({0x41, 0x9A, 0x00}), 5},
        // first_mb 0 ("1"), slice_type 0 ("1")
        {"type 0", bytes({0x41, 0xC0}), 0},
        // first_mb 1 ("010"), slice_type 1 ("010")
        {"after the first macroblock", bytes({0x41, 0x48}), 1},
        // slice header bytes beyond the unit's sample read as 0: 32 zeros give no slice type
        {"unit of only its header", bytes({0x41}), -1},
        {"32 leading zeros", bytes({0x41, 0x80, 0x00, 0x00, 0x00, 0x00, 0x80}), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Walked w = walkAvc(u32(static_cast<std::uint32_t>(c.unit.size())) + c.unit, 4);
        ASSERT_EQ(w.track.nalList.size(), 1u);
        EXPECT_EQ(w.track.nalList[0].sliceType, c.sliceType);
    }
}

TEST(WalkNalUnits, LengthSizesFromTheDescription) {
    for (unsigned lengthSize : {1u, 2u, 4u}) {
        SCOPED_TRACE(lengthSize);
        const std::string sample = prefix(2, lengthSize) + bytes({0x67, 0x64}) + prefix(3, lengthSize) + bytes({0x68, 0xEB, 0xE3});
        const Walked w = walkAvc(sample, lengthSize);
        EXPECT_EQ(w.track.nalList.size(), 2u);
        EXPECT_EQ(w.result.nalStats[7].headerWords, std::vector<std::uint32_t>{0x6764});
        EXPECT_EQ(w.result.nalStats[8].maxSize, 3u);
    }
    for (unsigned lengthSize : {0u, 3u, 5u, 8u}) {
        const Walked w = walkAvc(u32(2) + bytes({0x67, 0x64}), lengthSize);
        EXPECT_TRUE(w.track.nalList.empty()) << lengthSize;
    }
}

TEST(WalkNalUnits, LengthsThatDoNotFitTheSample) {
    // The second unit claims 1000 bytes: counted in the maximum, then the walk of the sample ends.
    Walked overrun = walkAvc(u32(2) + bytes({0x09, 0xF0}) + u32(1000) + bytes({0x41, 0x9A, 0x00}) + u32(2) + bytes({0x0C, 0xFF}), 4);
    ASSERT_EQ(overrun.track.nalList.size(), 2u);
    EXPECT_EQ(overrun.result.nalStats[1].maxSize, 1000u);
    EXPECT_FALSE(overrun.result.nalStats[12].seen());

    // A zero length counts a unit of size 0 whose type and word come from the next bytes.
    Walked zero = walkAvc(u32(0) + u32(2) + bytes({0x09, 0xF0}), 4);
    ASSERT_EQ(zero.track.nalList.size(), 2u);
    EXPECT_EQ(zero.track.nalList[0].type, 0);
    EXPECT_EQ(zero.track.nalList[0].size, 0u);
    EXPECT_EQ(zero.result.nalStats[0].minSize, 0u);
    EXPECT_EQ(zero.track.nalList[1].type, 9);

    // Units shorter than their header word: missing bytes read as 0, nothing past the sample.
    Walked shortIdr = walkAvc(u32(1) + bytes({0x65}), 4);
    EXPECT_EQ(shortIdr.result.nalStats[5].headerWords, std::vector<std::uint32_t>{0x650000});
    Walked shortSei = walkHevc(u32(2) + bytes({0x4E, 0x01}), 4);
    EXPECT_EQ(shortSei.result.nalStats[39].headerWords, std::vector<std::uint32_t>{0x4E0100});
    Walked prefixOnly = walkAvc(u32(7), 4);
    ASSERT_EQ(prefixOnly.track.nalList.size(), 1u);
    EXPECT_EQ(prefixOnly.result.nalStats[0].maxSize, 7u);
    EXPECT_EQ(prefixOnly.result.nalStats[0].headerWords, std::vector<std::uint32_t>{0});
    // Bytes left under a length prefix are not walked.
    EXPECT_TRUE(walkAvc(bytes({0, 0, 1}), 4).track.nalList.empty());
}

TEST(WalkHevcNalUnits, HeaderWordsByType) {
    const std::string sample = u32(3) + bytes({0x40, 0x01, 0x0C}) + u32(4) + bytes({0x4E, 0x01, 0x05, 0xFF}) + u32(3) +
                               bytes({0x26, 0x01, 0xAF}) + u32(3) + bytes({0x40, 0x01, 0x0D});
    const Walked w = walkHevc(sample, 4);
    EXPECT_EQ(w.result.nalStats[32].headerWords, std::vector<std::uint32_t>{0x4001});
    EXPECT_EQ(w.result.nalStats[39].headerWords, std::vector<std::uint32_t>{0x4E0105});
    EXPECT_EQ(w.result.nalStats[19].headerWords, std::vector<std::uint32_t>{0x2601});
    ASSERT_EQ(w.track.nalList.size(), 4u);
    for (const NalEntry& e : w.track.nalList) EXPECT_EQ(e.sliceType, -1);
}

TEST(WalkNalUnits, StatisticsAccumulateAcrossSamples) {
    AnalysisResult result;
    TrackRecord track;
    for (int i = 0; i < 3000; ++i) {
        const std::string sample = u32(static_cast<std::uint32_t>(3 + i % 50)) + bytes({0x65, 0x88, 0x80}) + zeros(i % 50);
        walkAvcNalUnits(reinterpret_cast<const std::uint8_t*>(sample.data()), sample.size(), 4, track, result);
    }
    EXPECT_EQ(result.nalStats[5].headerWords, std::vector<std::uint32_t>{0x658880});
    EXPECT_EQ(result.nalStats[5].minSize, 3u);
    EXPECT_EQ(result.nalStats[5].maxSize, 52u);
    EXPECT_EQ(track.nalList.size(), 3000u);
}
