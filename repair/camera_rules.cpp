#include "repair/camera_rules.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace {

bool contains(const std::string& name, const char* part) { return name.find(part) != std::string::npos; }

// One preset-name test of a rule row.
struct NameTest {
    enum Kind { Always, Is, IsNot, Contains, LacksText } kind = Always;
    const char* text = "";

    bool holds(const std::string& name) const {
        switch (kind) {
            case Always: return true;
            case Is: return name == text;
            case IsNot: return name != text;
            case Contains: return contains(name, text);
            case LacksText: return !contains(name, text);
        }
        return false;
    }
};

struct RangeRule {
    NameTest test;
    int type;
    std::vector<std::uint32_t> words;
    std::uint32_t min;
    std::uint32_t max;
};

const std::vector<RangeRule>& hevcRules() {
    static const std::vector<RangeRule> rules = {
        {{NameTest::IsNot, "gopro hero7"}, 0, {0x0001}, 0, 700000},
        {{}, 1, {0x0201}, 16, 2000000},
        {{NameTest::LacksText, "gopro"}, 2, {0x0402, 0x0403, 0x0404}, 16, 2500000},
        {{NameTest::LacksText, "gopro"}, 7, {0x4401, 0x0E02, 0x0E01}, 8000, 550513},
        {{}, 19, {0x2601}, 100000, 3226536},
        {{}, 20, {0x2801}, 5004, 3226536},
        {{}, 21, {0x2A01}, 50000, 3226536},
        {{}, 32, {0x4001}, 35, 35},
        {{}, 33, {0x4201}, 43, 43},
        {{}, 34, {0x4401}, 7, 7},
        {{}, 39, {0x4E0105}, 32, 42},
    };
    return rules;
}

const std::vector<RangeRule>& avcCommonRules() {
    static const std::vector<RangeRule> rules = {
        {{}, 9, {0x0910, 0x0950, 0x0930}, 3, 9},
        {{}, 6, {0x0600, 0x0601, 0x0605}, 5, 200},
        {{}, 7, {0x2764, 0x2742, 0x674D, 0x6742, 0x6764}, 8, 200},
        {{}, 8, {0x28EE, 0x28CE, 0x68EE, 0x68EA, 0x68CE}, 4, 50},
        {{}, 12, {0x0CFF}, 4, 250000},
    };
    return rules;
}

// One row of the slice chain: the first row whose name tests all hold decides.
struct SliceRow {
    std::vector<const char*> allOf;  // every one must be contained
    std::vector<const char*> anyOf;  // one must be contained, unless empty
    std::uint32_t min1, max1, min5, max5;
    std::vector<std::uint32_t> words1;
    std::vector<std::uint32_t> words5;
    std::vector<std::uint32_t> words1OnlyIfHeld;  // words1 added only when type 1 holds one of these
    const char* message;                         // printed with the preset name, or null

    bool matches(const std::string& name) const {
        for (const char* part : allOf)
            if (!contains(name, part)) return false;
        if (anyOf.empty()) return true;
        return std::any_of(anyOf.begin(), anyOf.end(), [&](const char* part) { return contains(name, part); });
    }
};

std::vector<std::uint32_t> wordRange(std::uint32_t first, std::uint32_t last) {
    std::vector<std::uint32_t> words;
    for (std::uint32_t w = first; w <= last; ++w) words.push_back(w);
    return words;
}

const std::vector<SliceRow>& sliceChain() {
    constexpr std::uint32_t k1M = 1048575, k4M = 4194303, k16M = 16777215;
    static const std::vector<SliceRow> rows = {
        {{}, {"iphone"}, 10, k1M, 10, 15349760, wordRange(0x21E1, 0x21FF), {}, {0x21E1, 0x21E2, 0x21E3}, nullptr},
        {{}, {"dji", "gopro"}, 10, k4M, 10, k16M, {}, {}, {}, nullptr},
        {{"canon", "70d"}, {}, 514, k1M, 514, k4M, {}, {}, {}, "preset canon 70d: "},
        {{"canon"}, {"600d", "5d mark iv"}, 514, k1M, 514, k4M, {}, {}, {}, "preset canon 600d: "},
        {{"canon"}, {}, 514, k1M, 514, k4M,
         {0x019E, 0x019F, 0x2199, 0x219A, 0x219B, 0x219C},
         {0x258882, 0x25003F, 0x25001F, 0x25000B, 0x258883}, {}, nullptr},
        {{"panasonic"}, {}, 10, k1M, 10, k4M,
         {0x219A, 0x219B, 0x4199, 0x4100, 0x419A, 0x419B, 0x219C, 0x2100, 0x2199},
         {0x65000F, 0x658884, 0x658880, 0x658881, 0x650078, 0x65003F, 0x650017, 0x65001F, 0x650009,
          0x65000B, 0x65000D, 0x650005, 0x650007, 0x650002, 0x650003, 0x650066, 0x650033, 0x650013,
          0x650019, 0x65000C, 0x65003C, 0x650004, 0x650006, 0x65000E, 0x650010, 0x650011},
         {}, nullptr},
        {{"sony_psp"}, {}, 280, k1M, 200, k4M, {}, {}, {}, nullptr},
        {{"sony"}, {}, 20, k1M, 10, k4M,
         {0x0100, 0x019A, 0x019B, 0x019C, 0x019D, 0x019E, 0x019F, 0x01E0, 0x2198, 0x2199, 0x219A, 0x219B,
          0x219C, 0x21F3, 0x2100, 0x2188, 0x21E2},
         {0x258820, 0x258884, 0x25006E, 0x250014, 0x258882, 0x250037, 0x25003F, 0x25001E, 0x25000F,
          0x250005, 0x250002, 0x250003, 0x250007, 0x25001F, 0x25000B, 0x258883, 0x258881, 0x258880,
          0x258860, 0x258830, 0x258840},
         {}, nullptr},
        {{"nikon"}, {}, 200, k1M, 200, k4M, {}, {}, {}, nullptr},
        {{"small-mp4"}, {}, 31, 380000, 150, 380000, {}, {}, {}, nullptr},
        {{}, {}, 32, k1M, 500, k4M, {}, {}, {}, nullptr},
    };
    return rows;
}

void setRange(NalTypeStats& entry, std::uint32_t min, std::uint32_t max) {
    entry.minSize = min;
    entry.maxSize = max;
}

void addWords(NalTypeStats& entry, const std::vector<std::uint32_t>& words) {
    for (std::uint32_t w : words) entry.addHeaderWord(w);
}

void applyRangeRules(AnalysisResult& result, const std::vector<RangeRule>& rules, const std::string& name) {
    for (const RangeRule& rule : rules) {
        if (!rule.test.holds(name)) continue;
        NalTypeStats& entry = result.nalStats[static_cast<std::size_t>(rule.type)];
        addWords(entry, rule.words);
        setRange(entry, rule.min, rule.max);
    }
}

bool holdsAny(const NalTypeStats& entry, const std::vector<std::uint32_t>& words) {
    return std::any_of(words.begin(), words.end(), [&](std::uint32_t w) {
        return std::find(entry.headerWords.begin(), entry.headerWords.end(), w) != entry.headerWords.end();
    });
}

}  // namespace

void applyCameraRules(AnalysisResult& result, const std::string& presetName, bool hevc, std::ostream& out) {
    if (hevc) {
        applyRangeRules(result, hevcRules(), presetName);
        return;
    }
    applyRangeRules(result, avcCommonRules(), presetName);
    for (const SliceRow& row : sliceChain()) {
        if (!row.matches(presetName)) continue;
        NalTypeStats& type1 = result.nalStats[1];
        NalTypeStats& type5 = result.nalStats[5];
        setRange(type1, row.min1, row.max1);
        setRange(type5, row.min5, row.max5);
        if (row.words1OnlyIfHeld.empty() || holdsAny(type1, row.words1OnlyIfHeld)) addWords(type1, row.words1);
        addWords(type5, row.words5);
        if (row.message) out << row.message << presetName << '\n';
        return;
    }
}
