// The word readers and the NAL header decoding that every stream reader builds on.
#include <gtest/gtest.h>

#include <string>

#include "mp4/byte_order.h"
#include "mp4/nal_header.h"

TEST(ByteOrder, HighBytesAreNotSignExtended) {
    // Text bytes are signed chars here: a reader that widens them before masking turns 0xFF
    // into a run of set bits above it.
    const std::string text("\xFF\x80\x7F\x01\xFE", 5);
    EXPECT_EQ(mp4::be16(text.data()), 0xFF80u);
    EXPECT_EQ(mp4::be32(text.data()), 0xFF807F01u);
    EXPECT_EQ(mp4::le32(text.data()), 0x017F80FFu);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    EXPECT_EQ(mp4::be24(bytes + 1), 0x807F01u);
    EXPECT_EQ(mp4::be64(reinterpret_cast<const std::uint8_t*>("\x80\0\0\0\0\0\0\x01")), 0x8000000000000001ull);
}

TEST(ByteOrder, WordOfADeclaredWidth) {
    const std::uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78};
    const std::uint32_t expected[] = {0, 0x12, 0x1234, 0x123456, 0x12345678};
    for (unsigned width = 0; width <= 4; ++width) EXPECT_EQ(mp4::beWord(bytes, width), expected[width]) << width;
}

TEST(NalHeader, TypesAndKindsOfKnownHeaders) {
    struct Case {
        std::uint8_t header;
        bool hevc;
        int type;
        bool picture;
        bool parameterSet;
    };
    const Case cases[] = {
        {0x67, false, 7, false, true},   // H.264 SPS, nal_ref_idc 3
        {0x68, false, 8, false, true},   // PPS
        {0x65, false, 5, true, false},   // IDR slice
        {0x41, false, 1, true, false},   // non-IDR slice
        {0x06, false, 6, false, false},  // SEI
        {0x09, false, 9, false, false},  // access unit delimiter
        {0x0D, false, 13, false, false},  // SPS extension: no parameter set of its own
        {0x40, true, 32, false, true},   // H.265 VPS
        {0x42, true, 33, false, true},   // SPS
        {0x44, true, 34, false, true},   // PPS
        {0x26, true, 19, true, false},   // IDR_W_RADL
        {0x02, true, 1, true, false},    // TRAIL_R
        {0x4E, true, 39, false, false},  // prefix SEI
        {0x46, true, 35, false, false},  // access unit delimiter
        {0x7E, true, 63, false, false},  // the layer bit below the type is not part of it
        {0xFF, false, 31, false, false},  // the forbidden bit and nal_ref_idc are not part of it
    };
    for (const Case& c : cases) {
        const int type = mp4::nalTypeOf(c.header, c.hevc);
        EXPECT_EQ(type, c.type) << int(c.header);
        EXPECT_EQ(mp4::isPictureType(type, c.hevc), c.picture) << int(c.header);
        EXPECT_EQ(mp4::isParameterSetType(type, c.hevc), c.parameterSet) << int(c.header);
    }
}

TEST(NalHeader, HeaderWordTakesTheThirdByteOnlyWhereItTellsUnitsApart) {
    const std::uint8_t idr[] = {0x65, 0x88, 0x84};
    const std::uint8_t slice[] = {0x41, 0x9A, 0x13};
    const std::uint8_t hevcSei[] = {0x4E, 0x01, 0x05};
    const std::uint8_t hevcIdr[] = {0x26, 0x01, 0xAF};
    EXPECT_EQ(mp4::headerWordOf(idr, 5, false), 0x658884u);
    EXPECT_EQ(mp4::headerWordOf(slice, 1, false), 0x419Au);
    EXPECT_EQ(mp4::headerWordOf(hevcSei, 39, true), 0x4E0105u);
    EXPECT_EQ(mp4::headerWordOf(hevcIdr, 19, true), 0x2601u);
    EXPECT_EQ(mp4::headerWordBytes(5, true), 2) << "type 5 is a plain slice in H.265";
    EXPECT_EQ(mp4::headerWordBytes(39, false), 2) << "no type 39 in H.264";
}
