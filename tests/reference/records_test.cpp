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

TEST(HeaderWordList, HoldsAtMostItsBoundInFirstSeenOrder) {
    const std::size_t bound = HeaderWordList::kMaxHeaderWords;
    HeaderWordList added;
    HeaderWordList appended;
    for (std::uint32_t word = 0; word < bound + 10; ++word) {
        EXPECT_EQ(added.add(word * 7), word < bound) << word;
        appended.push_back(word % 2);  // a description read back keeps its repeats
    }
    EXPECT_FALSE(added.add(0)) << "held already";
    ASSERT_EQ(added.size(), bound);
    EXPECT_EQ(added[0], 0u);
    EXPECT_EQ(added[bound - 1], (bound - 1) * 7);
    EXPECT_TRUE(added.contains(7 * 3));
    EXPECT_FALSE(added.contains(bound * 7)) << "beyond the bound, not recorded";
    EXPECT_EQ(appended.size(), bound);
    EXPECT_TRUE(appended.contains(1));
    appended = {5, 6};
    EXPECT_EQ(appended, (std::vector<std::uint32_t>{5, 6}));
    EXPECT_FALSE(appended.contains(1)) << "assignment forgets the old words";
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
