#include "repair/camera_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

namespace {

using Words = std::vector<std::uint32_t>;

struct Expected {
    std::uint32_t min;
    std::uint32_t max;
    Words words;
};

// Every entry carries values of its own, so that an entry a rule must leave alone is told apart.
AnalysisResult referenceEntries() {
    AnalysisResult r;
    for (int t = 0; t < kNalTypeCount; ++t) {
        NalTypeStats& e = r.nalStats[static_cast<std::size_t>(t)];
        e.minSize = 1000 + static_cast<std::uint32_t>(t);
        e.maxSize = 2000 + static_cast<std::uint32_t>(t);
        e.headerWords = {0xAA00u + static_cast<std::uint32_t>(t)};
    }
    return r;
}

Expected untouched(int t) { return {1000u + t, 2000u + t, {0xAA00u + t}}; }

Expected added(int t, std::uint32_t min, std::uint32_t max, Words words) {
    Words all{0xAA00u + t};
    all.insert(all.end(), words.begin(), words.end());
    return {min, max, all};
}

void expectEntries(const AnalysisResult& r, const std::map<int, Expected>& changed) {
    for (int t = 0; t < kNalTypeCount; ++t) {
        SCOPED_TRACE("type " + std::to_string(t));
        const auto it = changed.find(t);
        const Expected want = it == changed.end() ? untouched(t) : it->second;
        const NalTypeStats& e = r.nalStats[static_cast<std::size_t>(t)];
        EXPECT_EQ(e.minSize, want.min);
        EXPECT_EQ(e.maxSize, want.max);
        EXPECT_EQ(e.headerWords, want.words);
        EXPECT_EQ(e.type, t) << "the type field is left as it was";
    }
}

Words range(std::uint32_t first, std::uint32_t last) {
    Words w;
    for (std::uint32_t v = first; v <= last; ++v) w.push_back(v);
    return w;
}

std::map<int, Expected> avcCommon() {
    return {{9, added(9, 3, 9, {0x0910, 0x0950, 0x0930})},
            {6, added(6, 5, 200, {0x0600, 0x0601, 0x0605})},
            {7, added(7, 8, 200, {0x2764, 0x2742, 0x674D, 0x6742, 0x6764})},
            {8, added(8, 4, 50, {0x28EE, 0x28CE, 0x68EE, 0x68EA, 0x68CE})},
            {12, added(12, 4, 250000, {0x0CFF})}};
}

struct SliceCase {
    const char* preset;
    std::uint32_t min1, max1, min5, max5;
    Words words1, words5;
    const char* printed;
};

TEST(CameraRules, AvcPresetChainTakesTheFirstMatchingRow) {
    const Words canon1{0x019E, 0x019F, 0x2199, 0x219A, 0x219B, 0x219C};
    const Words canon5{0x258882, 0x25003F, 0x25001F, 0x25000B, 0x258883};
    const Words pana1{0x219A, 0x219B, 0x4199, 0x4100, 0x419A, 0x419B, 0x219C, 0x2100, 0x2199};
    const Words pana5{0x65000F, 0x658884, 0x658880, 0x658881, 0x650078, 0x65003F, 0x650017, 0x65001F, 0x650009,
                      0x65000B, 0x65000D, 0x650005, 0x650007, 0x650002, 0x650003, 0x650066, 0x650033, 0x650013,
                      0x650019, 0x65000C, 0x65003C, 0x650004, 0x650006, 0x65000E, 0x650010, 0x650011};
    const Words sony1{0x0100, 0x019A, 0x019B, 0x019C, 0x019D, 0x019E, 0x019F, 0x01E0, 0x2198,
                      0x2199, 0x219A, 0x219B, 0x219C, 0x21F3, 0x2100, 0x2188, 0x21E2};
    const Words sony5{0x258820, 0x258884, 0x25006E, 0x250014, 0x258882, 0x250037, 0x25003F, 0x25001E, 0x25000F,
                      0x250005, 0x250002, 0x250003, 0x250007, 0x25001F, 0x25000B, 0x258883, 0x258881, 0x258880,
                      0x258860, 0x258830, 0x258840};
    const SliceCase cases[] = {
        {"apple iphone 12", 10, 1048575, 10, 15349760, {}, {}, ""},  // no 21E1..21E3 in its list: no words
        {"dji mavic", 10, 4194303, 10, 16777215, {}, {}, ""},
        {"gopro hero 4", 10, 4194303, 10, 16777215, {}, {}, ""},
        {"canon eos 70d", 514, 1048575, 514, 4194303, {}, {}, "preset canon 70d: canon eos 70d\n"},
        {"canon eos 600d", 514, 1048575, 514, 4194303, {}, {}, "preset canon 600d: canon eos 600d\n"},
        {"canon eos 5d mark iv", 514, 1048575, 514, 4194303, {}, {}, "preset canon 600d: canon eos 5d mark iv\n"},
        {"canon legria", 514, 1048575, 514, 4194303, canon1, canon5, ""},
        {"panasonic gh5", 10, 1048575, 10, 4194303, pana1, pana5, ""},
        {"sony_psp", 280, 1048575, 200, 4194303, {}, {}, ""},
        {"sony a7", 20, 1048575, 10, 4194303, sony1, sony5, ""},
        {"nikon d750", 200, 1048575, 200, 4194303, {}, {}, ""},
        {"small-mp4", 31, 380000, 150, 380000, {}, {}, ""},
        {"", 32, 1048575, 500, 4194303, {}, {}, ""},
        {"lavf58", 32, 1048575, 500, 4194303, {}, {}, ""},
    };
    for (const SliceCase& c : cases) {
        SCOPED_TRACE(std::string("preset '") + c.preset + "'");
        AnalysisResult r = referenceEntries();
        std::ostringstream out;
        applyCameraRules(r, c.preset, false, out);
        std::map<int, Expected> changed = avcCommon();
        changed[1] = added(1, c.min1, c.max1, c.words1);
        changed[5] = added(5, c.min5, c.max5, c.words5);
        expectEntries(r, changed);
        EXPECT_EQ(out.str(), c.printed);
    }
}

TEST(CameraRules, IphoneWidensKnownSliceWords) {
    for (const std::uint32_t held : {0x21E1u, 0x21E2u, 0x21E3u, 0x2188u}) {
        SCOPED_TRACE(held);
        AnalysisResult r = referenceEntries();
        r.nalStats[1].headerWords = {held};
        std::ostringstream out;
        applyCameraRules(r, "iphone 8", false, out);
        Words want{held};
        if (held != 0x2188u)
            for (std::uint32_t w : range(0x21E1, 0x21FF))
                if (w != held) want.push_back(w);
        EXPECT_EQ(r.nalStats[1].headerWords, want);
    }
}

TEST(CameraRules, AddingAHeldWordKeepsOneCopy) {
    AnalysisResult r = referenceEntries();
    r.nalStats[8].headerWords = {0x28CE};
    r.nalStats[6].minSize = 10;
    r.nalStats[6].maxSize = 80;
    r.nalStats[6].headerWords = {0x0605, 0x0611};
    std::ostringstream out;
    applyCameraRules(r, "", false, out);
    applyCameraRules(r, "", false, out);
    EXPECT_EQ(r.nalStats[8].headerWords, (Words{0x28CE, 0x28EE, 0x68EE, 0x68EA, 0x68CE}));
    EXPECT_EQ(r.nalStats[6].minSize, 5u);
    EXPECT_EQ(r.nalStats[6].maxSize, 200u);
    EXPECT_EQ(r.nalStats[6].headerWords, (Words{0x0605, 0x0611, 0x0600, 0x0601}));
}

std::map<int, Expected> hevcAlways() {
    return {{1, added(1, 16, 2000000, {0x0201})},     {19, added(19, 100000, 3226536, {0x2601})},
            {20, added(20, 5004, 3226536, {0x2801})}, {21, added(21, 50000, 3226536, {0x2A01})},
            {32, added(32, 35, 35, {0x4001})},        {33, added(33, 43, 43, {0x4201})},
            {34, added(34, 7, 7, {0x4401})},          {39, added(39, 32, 42, {0x4E0105})}};
}

TEST(CameraRules, HevcRulesByPreset) {
    struct Case {
        const char* preset;
        bool type0, types2And7;
    };
    const Case cases[] = {{"", true, true}, {"gopro hero 4", true, false}, {"gopro hero7", false, false},
                          {"canon eos 70d", true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preset);
        AnalysisResult r = referenceEntries();
        std::ostringstream out;
        applyCameraRules(r, c.preset, true, out);
        std::map<int, Expected> changed = hevcAlways();
        if (c.type0) changed[0] = added(0, 0, 700000, {0x0001});
        if (c.types2And7) {
            changed[2] = added(2, 16, 2500000, {0x0402, 0x0403, 0x0404});
            changed[7] = added(7, 8000, 550513, {0x4401, 0x0E02, 0x0E01});
        }
        expectEntries(r, changed);
        EXPECT_EQ(out.str(), "");
    }
}

}  // namespace
