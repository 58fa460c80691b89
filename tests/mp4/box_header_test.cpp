#include <gtest/gtest.h>

#include "mp4/box_header.h"
#include "mp4/fourcc_text.h"
#include "tests/mp4/box_builder.h"
#include "tests/mp4/span_helpers.h"

using namespace boxes;

TEST(BoxHeader, SizeForms) {
    struct Case {
        const char* name;
        std::string bytes;
        std::uint64_t room;
        mp4::HeaderResult result;
        std::uint64_t size;
        std::uint32_t headerSize;
    };
    const Case cases[] = {
        {"32-bit", box("free", zeros(4)), 100, mp4::HeaderResult::Ok, 12, 8},
        {"64-bit", box64("mdat", zeros(4)), 100, mp4::HeaderResult::Ok, 20, 16},
        {"to end of parent", boxToEnd("mdat", zeros(4)), 100, mp4::HeaderResult::Ok, 100, 8},
        {"size under 8", u32(7) + "free", 100, mp4::HeaderResult::Invalid, 7, 8},
        {"64-bit size under 16", u32(1) + "free" + u64(12), 100, mp4::HeaderResult::Invalid, 12, 16},
        {"header cut", u32(8) + "fr", 100, mp4::HeaderResult::Truncated, 0, 0},
        {"64-bit size cut", u32(1) + "mdat" + u32(0), 100, mp4::HeaderResult::Truncated, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mp4::BoxHeader header;
        EXPECT_EQ(mp4::readBoxHeader(spanOf(c.bytes), c.room, header), c.result);
        if (c.result != mp4::HeaderResult::Truncated) {
            EXPECT_EQ(header.size, c.size);
            EXPECT_EQ(header.headerSize, c.headerSize);
        }
    }
}

TEST(BoxRange, WalksSiblingsAndStopsAtABoxPastTheRange) {
    const std::string range = box("aaaa", "xy") + box64("bbbb", "z") + u32(64) + "cccc" + zeros(4);
    mp4::BoxRange boxes(spanOf(range));
    mp4::RawBox raw;
    ASSERT_TRUE(boxes.next(raw));
    EXPECT_EQ(raw.type, mp4::fourcc("aaaa"));
    EXPECT_EQ(textOf(raw.payload), "xy");
    ASSERT_TRUE(boxes.next(raw));
    EXPECT_EQ(raw.type, mp4::fourcc("bbbb"));
    EXPECT_EQ(textOf(raw.payload), "z");
    EXPECT_FALSE(boxes.next(raw));
    EXPECT_TRUE(boxes.damaged());
}

TEST(BoxRange, SizeZeroTakesTheRestAndTrailingBytesUnderAHeaderAreDamage) {
    const std::string range = box("aaaa", "") + boxToEnd("bbbb", "tail");
    mp4::BoxRange boxes(spanOf(range));
    mp4::RawBox raw;
    ASSERT_TRUE(boxes.next(raw));
    ASSERT_TRUE(boxes.next(raw));
    EXPECT_EQ(textOf(raw.payload), "tail");
    EXPECT_FALSE(boxes.next(raw));
    EXPECT_FALSE(boxes.damaged());

    const std::string shortTail = box("aaaa", "") + zeros(4);
    mp4::BoxRange cut(spanOf(shortTail));
    ASSERT_TRUE(cut.next(raw));
    EXPECT_FALSE(cut.next(raw));
    EXPECT_TRUE(cut.damaged());
}
