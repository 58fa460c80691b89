#include "repair/special_packets.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "mp4/byte_order.h"
#include "reference/records.h"
#include "tests/repair/packet_bytes.h"

using packetbytes::Bytes;

namespace {

struct AtomCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* preset;
    AtomsVariant variant;
    std::int64_t skip;
    const char* tag;  // "" when nothing is recognised
    // What the scan decides by: a camera's own record unless the row says otherwise.
    SpecialKind kind = SpecialKind::CameraRecord;
};

AtomCheck run(const std::vector<std::uint8_t>& bytes, const std::string& preset, AtomsVariant variant,
              std::int64_t valid = -1) {
    AtomCheck out;
    const std::uint32_t w0 = mp4::be32(bytes.data());
    specificAtomsChecker(bytes.data(), valid < 0 ? std::int64_t(bytes.size()) : valid, 0, w0,
                         PresetTraits::fromName(preset), variant, out);
    return out;
}

constexpr auto R = AtomsVariant::Repair;
constexpr auto D = AtomsVariant::Diagnostic;
using K = SpecialKind;

std::vector<std::uint8_t> counting(std::uint32_t from, int words, bool twice) {
    Bytes b;
    for (int i = 0; i < words; ++i) b.be32(from + std::uint32_t(twice ? i / 2 : i));
    return b.be32(0xA5A5A5A5).padTo(48);
}

// One pair of rows per tag: a preset (or variant) that enables the rule, and one that does not.
const std::vector<AtomCase>& atomCases() {
    static const std::vector<AtomCase> cases = {
        {"moof", Bytes().be32(0x100).text("moof").be32(16).text("mfhd").padTo(32), "", R, 0x100,
         "[moof packet]", K::Fragment},
        {"moof without mfhd", Bytes().be32(0x100).text("moof").be32(16).text("mfhx").padTo(32), "", R, 0, ""},
        {"mdat repair", Bytes().be32(0x10).text("mdat").padTo(32), "", R, 8, "[mdat packet]", K::MediaData},
        {"mdat diagnostic", Bytes().be32(0x10).text("mdat").padTo(32), "", D, 8, "[mdat packet]", K::MediaData},
        {"dji repair", Bytes().be32(0x01FE3030).be32(0x20303020).padTo(32), "", R, 512, "[DJI OSMO packet]"},
        {"dji diagnostic", Bytes().be32(0x01FE3030).be32(0x20303020).padTo(32), "", D, 0, ""},
        {"avc audio diagnostic", Bytes().be32(0xDE02004C).text("avc1").padTo(32), "", D, 16,
         "[AVC Audio Header packet]"},
        {"avc audio 04 diagnostic", Bytes().be32(0xDE04004C).text("avc ").padTo(32), "", D, 16,
         "[AVC Audio Header packet]"},
        {"avc audio repair", Bytes().be32(0xDE02004C).text("avc1").padTo(32), "", R, 0, ""},
        {"sony_psp", Bytes().be32(0x00080100).be32(0xB8).padTo(32), "sony_psp", R, 192, "[SONY_PSP 0x00080100]"},
        {"sony_psp bytes, sony preset", Bytes().be32(0x00080100).be32(0xB8).padTo(32), "sony a7", R, 0, ""},
        {"sony rtmd", Bytes().be32(0x00080100).be32(0x00AD034B).padTo(32), "sony a7", R, 1024,
         "[SONY RTMD 0x00080100]"},
        {"sony rtmd, sony_psp preset", Bytes().be32(0x00080100).be32(0x00AD034B).padTo(32), "sony_psp", R, 0, ""},
        {"ambarella RVFR", Bytes().be32(0x200).text("RVFR").padTo(32), "ambarella", R, 0x200,
         "[AMBARELLA]", K::Ambarella},
        {"gopro RTMC", Bytes().be32(0x200).text("RTMC").padTo(32), "gopro hero 4", R, 0x200,
         "[AMBARELLA]", K::Ambarella},
        {"RVFR, other preset", Bytes().be32(0x200).text("RVFR").padTo(32), "nikon d5", R, 0, ""},
        {"RVFR, ambarella in longer name", Bytes().be32(0x200).text("RVFR").padTo(32), "ambarella x", R, 0, ""},
        {"RVPT too long", Bytes().be32(0x400000).text("RVPT").padTo(32), "ambarella", R, 0, ""},
        {"RVID", Bytes().be32(0x12345678).text("RVID").padTo(32), "ambarella", R, 8, "[AMBARELLA]", K::Ambarella},
        {"RAUD", Bytes().be32(0x12345678).text("RAUD").padTo(32), "gopro", R, 8, "[AMBARELLA]", K::Ambarella},
        {"GP 0001", Bytes().be32(0x47500001).be32(7).padTo(32), "ambarella", R, 16, "[AMBARELLA]", K::Ambarella},
        {"GP 0003", Bytes().be32(0x47500003).be32(7).padTo(32), "ambarella", R, 16, "[AMBARELLA]", K::Ambarella},
        {"GP 0301", Bytes().be32(0x47500301).be32(7).padTo(32), "ambarella", R, 152, "[AMBARELLA]", K::Ambarella},
        {"GP 0500", Bytes().be32(0x47500500).be32(100).padTo(32), "ambarella", R, 116, "[AMBARELLA]", K::Ambarella},
        {"GP 0600", Bytes().be32(0x47500600).be32(100).padTo(32), "gopro", R, 116, "[AMBARELLA]", K::Ambarella},
        {"GP 0600 oversized", Bytes().be32(0x47500600).be32(0xFFFFFFF8).padTo(32), "gopro", R, 0, ""},
        {"GP 0301, canon preset", Bytes().be32(0x47500301).be32(7).padTo(32), "canon eos 70d", R, 0, ""},
        {"ambarella text", Bytes().be32(0x00072020).be32(0x20202020).padTo(32), "ambarella", R, 9,
         "Ambarella [TEXT]"},
        {"ambarella text, empty preset", Bytes().be32(0x00072020).be32(0x20202020).padTo(32), "", R, 0, ""},
        {"tmcd +1", counting(0x10, 6, false), "", R, 24, "[TMCD - Suite +1]", K::TimecodeSuite},
        {"tmcd +1, five words", counting(0x10, 5, false), "", R, 0, ""},
        {"tmcd +1, eight words", counting(0x10, 8, false), "nikon", R, 32, "[TMCD - Suite +1]", K::TimecodeSuite},
        {"tmcd x2", counting(0x10, 6, true), "", R, 24, "[TMCD - Suite x2 +1]", K::TimecodeSuite},
        {"tmcd x2, five words", counting(0x10, 5, true), "", R, 0, ""},
        {"tmcd +1, panasonic", counting(0x10, 6, false), "panasonic gh5", R, 24,
         "[TMCD Panasonic - Suite +1]", K::TimecodeSuite},
        {"tmcd x2, panasonic", counting(0x10, 7, true), "panasonic gh5", R, 28,
         "[TMCD Panasonic - Suite x2 +1]", K::TimecodeSuite},
        {"tmcd +1, canon", counting(0x10, 6, false), "canon eos 70d", R, 24,
         "[TMCD Canon - Suite +1]", K::TimecodeSuite},
        {"tmcd x2, canon", counting(0x10, 6, true), "canon eos 70d", R, 24,
         "[TMCD Canon - Suite x2 +1]", K::TimecodeSuite},
        {"cinf jvc", Bytes().be32(0x40).text("cinf").padTo(32), "jvc gy", R, 94720, "[CINF jvc]"},
        {"cinf, empty preset", Bytes().be32(0x40).text("cinf").padTo(32), "", R, 0, ""},
        {"rtmd jvc", Bytes().be32(0x400).text("rtmd").padTo(32), "jvc gy", R, 0x400, "[rtmd jvc]"},
        {"rtmd, sony preset", Bytes().be32(0x400).text("rtmd").padTo(32), "sony a7", R, 0, ""},
        {"tmcd jvc", Bytes().be32(7).be32(8).be32(8).be32(8).padTo(32), "jvc gy", R, 48, "[TMCD jvc]"},
        {"tmcd jvc bytes, empty preset", Bytes().be32(7).be32(8).be32(8).be32(8).padTo(32), "", R, 0, ""},
        {"rotten data", Bytes().be32(0xFFFFFFFF).be32(0xFFFFFFFF).padTo(32), "panasonic", R, 8,
         "[rotten data 0xFFFFFFFF]"},
        {"rotten data, empty preset", Bytes().be32(0xFFFFFFFF).be32(0xFFFFFFFF).padTo(32), "", R, 0, ""},
        {"iphone 64", Bytes().be32(100).be32(0x77).be32(1).padTo(32), "iphone 6", R, 1536, "[IPHONE - 0x00000064]"},
        {"iphone 68", Bytes().be32(0x68).be32(1).padTo(32), "iphone 6", R, 0x68, "[IPHONE - 0x00000068]"},
        {"iphone 88", Bytes().be32(0x88).be32(1).padTo(32), "iphone 6", R, 0x88, "[IPHONE - 0x00000088]"},
        {"iphone 08", Bytes().be32(8).be32(0).padTo(32), "iphone 6", R, 8, "[IPHONE - 0x00000008]"},
        {"iphone 68, canon preset", Bytes().be32(0x68).be32(1).padTo(32), "canon eos 70d", R, 0, ""},
        {"iphone crec", Bytes().be32(0x300).be32(0x77).be32(0x77).text("crec").padTo(32), "iphone x", R, 0x300,
         "[IPHONE - 0x63726563]"},
        {"crec, empty preset", Bytes().be32(0x300).be32(0x77).be32(0x77).text("crec").padTo(32), "", R, 0, ""},
        {"canon word", Bytes().be32(0x04008040).padTo(32), "canon eos 70d", R, 128, "[CANON - 0x04008040]"},
        {"canon word, nikon preset", Bytes().be32(0x04008040).padTo(32), "nikon d5", R, 0, ""},
        {"repi tmcd", Bytes().text("repi").raw({0x00, 0x00, 0x01, 0x00}).text("tmcd").padTo(32), "", R, 256,
         "[CANON REPI - tmcd]"},
        {"repi vide", Bytes().text("repi").raw({0x00, 0x01, 0x02, 0x03}).text("vide").padTo(32), "canon eos 70d",
         R, 0x10203, "[CANON REPI - video]"},
        {"repi aac", Bytes().text("repi").raw({0x00, 0x00, 0x00, 0x40}).text("aac ").padTo(32), "nikon", R, 0x40,
         "[CANON REPI - aac]"},
        {"repi, jvc preset", Bytes().text("repi").raw({0x00, 0x00, 0x01, 0x00}).text("tmcd").padTo(32), "jvc", R,
         0, ""},
        {"repi, iphone preset", Bytes().text("repi").raw({0x00, 0x00, 0x01, 0x00}).text("tmcd").padTo(32),
         "iphone", R, 0, ""},
    };
    return cases;
}

}  // namespace

TEST(SpecialPacketsTest, TagTable) {
    for (const AtomCase& c : atomCases()) {
        SCOPED_TRACE(c.name);
        const AtomCheck out = run(c.bytes, c.preset, c.variant);
        EXPECT_EQ(out.skip, c.skip);
        EXPECT_EQ(out.tag, c.tag);
        if (c.skip != 0) EXPECT_EQ(out.kind, c.kind);
    }
}

TEST(SpecialPacketsTest, EveryCanonWordIsTaggedWithItsHex) {
    for (std::uint32_t word : {0x04000035u, 0x04008032u, 0x04006040u, 0x04005040u, 0x04007041u, 0x04002041u,
                               0x04009034u, 0x04008040u, 0x04004042u, 0x02003039u}) {
        char tag[32];
        std::snprintf(tag, sizeof tag, "[CANON - 0x%08X]", word);
        const AtomCheck out = run(Bytes().be32(word).padTo(32), "canon eos 5d", R);
        EXPECT_EQ(out.skip, 128) << tag;
        EXPECT_EQ(out.tag, tag);
    }
    EXPECT_EQ(run(Bytes().be32(0x04000036).padTo(32), "canon eos 5d", R).skip, 0);
}

TEST(SpecialPacketsTest, AmbarellaRecordAnnouncesJunk) {
    const AtomCheck out = run(Bytes().be32(0x47500400).be32(5000).padTo(32), "ambarella", R);
    EXPECT_EQ(out.skip, 16);
    EXPECT_EQ(out.tag, "[AMBARELLA]");
    EXPECT_EQ(out.announcedJunk, 5000);
    EXPECT_EQ(run(Bytes().be32(0x47500001).be32(5000).padTo(32), "ambarella", R).announcedJunk, -1);
}

TEST(SpecialPacketsTest, ZeroSkipKeepsTheCallersTag) {
    AtomCheck out;
    out.tag = "earlier";
    out.kind = K::Box;
    const std::vector<std::uint8_t> bytes = Bytes().padTo(32, 0x11);
    specificAtomsChecker(bytes.data(), 32, 0, 0x11111111, PresetTraits::fromName("canon"), R, out);
    EXPECT_EQ(out.skip, 0);
    EXPECT_EQ(out.tag, "earlier");
    EXPECT_EQ(out.kind, K::Box);
}

TEST(SpecialPacketsTest, CountingRunStopsAtTheValidBytes) {
    // Eight counting words, of which only seven lie in the valid part of the buffer.
    const std::vector<std::uint8_t> bytes = counting(0x10, 8, false);
    EXPECT_EQ(run(bytes, "", R, 28).skip, 28);
    EXPECT_EQ(run(bytes, "", R, 20).skip, 0);
}

TEST(SpecialPacketsTest, WordsPastTheValidBytesNeverMatch) {
    // Exactly sized buffers: the checker may not look past them (the sanitizer build checks it).
    struct Short {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* preset;
        std::int64_t skip;
    };
    const std::vector<Short> cases = {
        {"mdat with only its header", Bytes().be32(8).text("mdat"), "", 8},
        {"moof cut before mfhd", Bytes().be32(0x100).text("moof").be32(16).text("mf"), "", 0},
        {"crec cut", Bytes().be32(0x300).be32(0x77).be32(0x77).text("cr"), "iphone", 0},
        {"repi cut", Bytes().text("repi").raw({0, 0, 1}), "", 0},
        {"length word only", Bytes().be32(0x04008040), "canon", 128},
        {"one byte", Bytes().raw({0x04}), "canon", 0},
    };
    for (const Short& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> exact(c.bytes.begin(), c.bytes.end());
        std::uint32_t w0 = 0;
        for (std::size_t i = 0; i < 4 && i < exact.size(); ++i) w0 |= std::uint32_t(exact[i]) << (24 - 8 * i);
        AtomCheck out;
        specificAtomsChecker(exact.data(), std::int64_t(exact.size()), 0, w0, PresetTraits::fromName(c.preset), R,
                             out);
        EXPECT_EQ(out.skip, c.skip);
    }
}

TEST(SpecialPacketsTest, PositionInsideTheBuffer) {
    const std::vector<std::uint8_t> bytes = Bytes().fill(10, 0xEE).be32(0x10).text("mdat").padTo(40);
    AtomCheck out;
    specificAtomsChecker(bytes.data(), std::int64_t(bytes.size()), 10, 0x10, PresetTraits::fromName(""), R, out);
    EXPECT_EQ(out.skip, 8);
    AtomCheck past;
    specificAtomsChecker(bytes.data(), std::int64_t(bytes.size()), 40, 0, PresetTraits::fromName(""), R, past);
    EXPECT_EQ(past.skip, 0);
}

TEST(PresetTraitsTest, SubstringsDecidedOnce) {
    const PresetTraits canon = PresetTraits::fromName("canon eos 600d");
    EXPECT_TRUE(canon.canon);
    EXPECT_TRUE(canon.canon600d);
    EXPECT_TRUE(canon.skipsTimecodeTrack());
    EXPECT_FALSE(canon.yieldsToShortJunk());
    const PresetTraits psp = PresetTraits::fromName("sony_psp");
    EXPECT_TRUE(psp.sonyPsp);
    EXPECT_TRUE(psp.sony);
    EXPECT_TRUE(PresetTraits::fromName("ambarella").ambarella);
    EXPECT_FALSE(PresetTraits::fromName("ambarella a7").ambarella);
    EXPECT_FALSE(PresetTraits::fromName("canon eos 70d").canon600d);
    EXPECT_TRUE(PresetTraits::fromName("dashcam icatch").yieldsToShortJunk());
}
