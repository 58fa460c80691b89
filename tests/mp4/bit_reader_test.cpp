#include <gtest/gtest.h>

#include <vector>

#include "mp4/bit_reader.h"

TEST(ReadUeGolomb, CodesFromTheBitstream) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::vector<std::int64_t> values;
    };
    const Case cases[] = {
        // 1 | 010 | 011 | 00100 | 00101 ... : 0, 1, 2, 3, 4
        {{0xA6, 0x42, 0x80}, {0, 1, 2, 3, 4}},
        // 0000 0001 0000 000: seven zeros, the one, seven zero bits -> 127
        {{0x01, 0x00, 0x00}, {127}},
        // 31 zeros, a one and 31 bits of ones: the largest value that fits.
        {{0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFE}, {0xFFFFFFFELL}},
        // 32 zeros: no value.
        {{0x00, 0x00, 0x00, 0x00, 0x80}, {-1}},
        // Bits past the end read as zero, so a cut code never ends.
        {{0x00}, {-1}},
    };
    for (const Case& c : cases) {
        mp4::BitReader reader(c.bytes.data(), c.bytes.size());
        for (std::int64_t expected : c.values) EXPECT_EQ(mp4::readUeGolomb(reader), expected);
    }
}

TEST(BitReader, BitsPastTheEndAreZeroAndNoted) {
    const std::uint8_t bytes[] = {0xFF};
    mp4::BitReader reader(bytes, 1);
    EXPECT_EQ(reader.readBits(4), 0xFu);
    EXPECT_FALSE(reader.overrun());
    EXPECT_EQ(reader.readBits(8), 0xF0u);
    EXPECT_TRUE(reader.overrun());
}

TEST(BitReader, SkippedBitsMoveThePositionAndStopAtTheEnd) {
    const std::uint8_t bytes[] = {0x0F, 0xA5};
    mp4::BitReader reader(bytes, 2);
    reader.skipBits(4);
    EXPECT_EQ(reader.readBits(8), 0xFAu);
    EXPECT_EQ(reader.position(), 12u);
    reader.skipBits(4);
    EXPECT_FALSE(reader.overrun());
    reader.skipBits(1);
    EXPECT_TRUE(reader.overrun());
    EXPECT_EQ(reader.position(), 16u);
}
