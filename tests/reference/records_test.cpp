#include <gtest/gtest.h>

#include "reference/nal_type_names.h"
#include "reference/records.h"

TEST(AnalysisResult, SeedsSixtyFourUnseenEntries) {
    AnalysisResult result;
    for (int i = 0; i < kNalTypeCount; ++i) {
        EXPECT_EQ(result.nalStats[i].type, i);
        EXPECT_EQ(result.nalStats[i].minSize, 16777215u);
        EXPECT_EQ(result.nalStats[i].maxSize, 0u);
        EXPECT_FALSE(result.nalStats[i].seen());
        EXPECT_TRUE(result.nalStats[i].headerWords.empty());
    }
}

TEST(NalTypeStats, HeaderWordsAreDistinctInFirstSeenOrder) {
    NalTypeStats stats;
    for (std::uint32_t word : {7u, 3u, 7u, 9u, 3u}) stats.addHeaderWord(word);
    EXPECT_EQ(stats.headerWords, (std::vector<std::uint32_t>{7, 3, 9}));
}

TEST(NalTypeNames, LookupsAtTheTableEdges) {
    struct Case {
        int type;
        const char* h264;
        const char* hevc;
    };
    const Case cases[] = {
        {1, "P Frame", "NAL_UNIT_CODED_SLICE_TRAIL_R"},
        {5, "IDR picture", "NAL_UNIT_CODED_SLICE_STSA_R"},
        {32, "Unspecified", "NAL_UNIT_VPS"},
        {33, "Invalid", "NAL_UNIT_SPS"},
        {39, "Invalid", "NAL_UNIT_PREFIX_SEI"},
        {63, "Invalid", "NAL_UNIT_UNSPECIFIED_63"},
        {64, "Invalid", "NAL_UNIT_INVALID"},
        {-1, "Invalid", "NAL_UNIT_INVALID"},
        {1000, "Invalid", "NAL_UNIT_INVALID"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(h264NalTypeName(c.type), c.h264) << c.type;
        EXPECT_STREQ(hevcNalTypeName(c.type), c.hevc) << c.type;
    }
}
