#include <gtest/gtest.h>

#include <vector>

#include "mp4/sample_table.h"
#include "tests/mp4/box_builder.h"
#include "tests/mp4/span_helpers.h"

using namespace boxes;

namespace {

struct Tables {
    std::string stsz, stsc, stco;
    bool wide = false;
};

// Locations the cursor yields for the tables, until it stops.
std::vector<std::pair<std::uint64_t, std::uint32_t>> walk(const Tables& t) {
    mp4::SampleSizes sizes;
    mp4::SampleToChunk chunks;
    mp4::ChunkOffsets offsets;
    const bool compact = t.stsz.compare(4, 4, "stz2") == 0;
    EXPECT_TRUE(compact ? mp4::parseCompactSampleSizes(payloadOf(t.stsz), sizes) : mp4::parseSampleSizes(payloadOf(t.stsz), sizes));
    EXPECT_TRUE(mp4::parseSampleToChunk(payloadOf(t.stsc), chunks));
    EXPECT_TRUE(mp4::parseChunkOffsets(payloadOf(t.stco), t.wide, offsets));
    mp4::SampleCursor cursor(sizes, chunks, offsets);
    std::vector<std::pair<std::uint64_t, std::uint32_t>> out;
    mp4::SampleLocation location;
    while (cursor.next(location) && out.size() < 100) out.emplace_back(location.offset, location.size);
    return out;
}

using Locations = std::vector<std::pair<std::uint64_t, std::uint32_t>>;

}  // namespace

TEST(SampleCursor, LocatesSamplesAndStopsOnBadTables) {
    struct Case {
        const char* name;
        Tables tables;
        Locations expected;
    };
    const Case cases[] = {
        {"two stsc runs",
         {stsz(0, {10, 20, 30, 40, 50}, 5), stsc({{1, 2, 1}, {3, 1, 1}}), chunkOffsets({100, 200, 300}, false)},
         {{100, 10}, {110, 20}, {200, 30}, {230, 40}, {300, 50}}},
        {"constant size",
         {stsz(4, {}, 3), stsc({{1, 3, 1}}), chunkOffsets({64}, false)},
         {{64, 4}, {68, 4}, {72, 4}}},
        {"co64",
         {stsz(0, {7, 8}, 2), stsc({{1, 1, 1}}), chunkOffsets({0x100000000ull, 0x200000000ull}, true), true},
         {{0x100000000ull, 7}, {0x200000000ull, 8}}},
        {"stz2 4-bit",
         {stz2(4, {1, 2, 3}), stsc({{1, 3, 1}}), chunkOffsets({10}, false)},
         {{10, 1}, {11, 2}, {13, 3}}},
        {"stz2 16-bit",
         {stz2(16, {300, 2}), stsc({{1, 2, 1}}), chunkOffsets({0}, false)},
         {{0, 300}, {300, 2}}},
        {"chunks with no samples are skipped",
         {stsz(0, {5, 6}, 2), stsc({{1, 0, 1}, {2, 1, 1}}), chunkOffsets({10, 20, 30}, false)},
         {{20, 5}, {30, 6}}},
        {"first chunk 0", {stsz(0, {5}, 1), stsc({{0, 1, 1}}), chunkOffsets({10}, false)}, {}},
        {"first chunks out of order",
         {stsz(0, {5, 6, 7}, 3), stsc({{1, 1, 1}, {3, 1, 1}, {2, 1, 1}}), chunkOffsets({10, 20, 30}, false)},
         {{10, 5}, {20, 6}}},
        {"no sample-to-chunk entry", {stsz(0, {5}, 1), stsc({}), chunkOffsets({10}, false)}, {}},
        {"more samples than chunks hold",
         {stsz(0, {1, 2, 3}, 3), stsc({{1, 1, 1}}), chunkOffsets({10}, false)},
         {{10, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(walk(c.tables), c.expected);
    }
}

TEST(SampleTables, DeclaredCountsAreCutToTheEntriesPresent) {
    // Each table claims a million entries but holds two.
    const std::string stszBox = fullBox("stsz", 0, 0, u32(0) + u32(1000000) + u32(5) + u32(6));
    const std::string stscBox = fullBox("stsc", 0, 0, u32(1000000) + u32(1) + u32(1) + u32(1) + u32(2) + u32(1) + u32(1));
    const std::string stcoBox = fullBox("stco", 0, 0, u32(1000000) + u32(10) + u32(20));
    const std::string stz2Box = fullBox("stz2", 0, 0, u24(0) + u8(8) + u32(1000000) + u8(1) + u8(2) + u8(3));
    mp4::SampleSizes sizes;
    ASSERT_TRUE(mp4::parseSampleSizes(payloadOf(stszBox), sizes));
    EXPECT_EQ(sizes.count, 2u);
    ASSERT_TRUE(mp4::parseCompactSampleSizes(payloadOf(stz2Box), sizes));
    EXPECT_EQ(sizes.count, 3u);
    mp4::SampleToChunk chunks;
    ASSERT_TRUE(mp4::parseSampleToChunk(payloadOf(stscBox), chunks));
    EXPECT_EQ(chunks.count, 2u);
    mp4::ChunkOffsets offsets;
    ASSERT_TRUE(mp4::parseChunkOffsets(payloadOf(stcoBox), false, offsets));
    EXPECT_EQ(offsets.count, 2u);

    // A constant size keeps its declared count: the table holds nothing per sample.
    ASSERT_TRUE(mp4::parseSampleSizes(payloadOf(stsz(4, {}, 480000)), sizes));
    EXPECT_EQ(sizes.count, 480000u);
    EXPECT_EQ(sizes.sizeAt(479999), 4u);
}

TEST(SampleTables, MalformedHeadersAreRejected) {
    mp4::SampleSizes sizes;
    EXPECT_FALSE(mp4::parseSampleSizes(payloadOf(fullBox("stsz", 0, 0, u32(0))), sizes));
    EXPECT_FALSE(mp4::parseCompactSampleSizes(payloadOf(fullBox("stz2", 0, 0, u24(0) + u8(12) + u32(0))), sizes));
    mp4::SampleToChunk chunks;
    EXPECT_FALSE(mp4::parseSampleToChunk(payloadOf(box("stsc", "")), chunks));
}
