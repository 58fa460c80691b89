#include <gtest/gtest.h>

#include "mp4/format_table.h"
#include "mp4/fourcc_text.h"

TEST(FourccText, PrintableCharactersStayOthersShowAsDots) {
    struct Case {
        std::uint32_t code;
        const char* text;
    };
    const Case cases[] = {
        {mp4::fourcc("tmcd"), "tmcd"},
        {mp4::fourcc("rtp "), "rtp "},
        {0x00000000u, "...."},
        {0x61FF0A7Fu, "a..."},
        {0x207E1F80u, " ~.."},
    };
    for (const Case& c : cases) EXPECT_EQ(mp4::fourccText(c.code), c.text);
}

TEST(FormatTable, NamedFormatsAndCodesForTheRest) {
    struct Case {
        std::uint32_t code;
        const char* name;
        mp4::DescriptionType type;
    };
    const Case cases[] = {
        {mp4::fourcc("avc1"), "H.264", mp4::kDescriptionAvc}, {mp4::fourcc("avc3"), "H.264", mp4::kDescriptionAvc},
        {mp4::fourcc("hvc1"), "H.265", mp4::kDescriptionHevc}, {mp4::fourcc("hev1"), "H.265", mp4::kDescriptionHevc},
        {mp4::fourcc("mp4a"), "MPEG-4 Audio", mp4::kDescriptionMpeg}, {mp4::fourcc("tmcd"), "tmcd", mp4::kDescriptionOther},
        {mp4::fourcc("gpmd"), "gpmd", mp4::kDescriptionOther}, {mp4::fourcc("twos"), "twos", mp4::kDescriptionOther},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mp4::formatName(c.code), c.name);
        EXPECT_EQ(mp4::formatInfo(c.code).type, c.type) << c.name;
    }
    EXPECT_EQ(mp4::formatName(0x01020304u), "....");
}
