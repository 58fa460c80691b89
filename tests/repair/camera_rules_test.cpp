// The camera rules judged by what they make a run take: the unit behind a candidate is looked at
// with the completed entries (the look-ahead's first test), so each case says which lengths and
// header words of a type a preset's run takes there, and which it refuses.
#include "repair/camera_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "mp4/nal_header.h"
#include "repair/packet_checks.h"
#include "tests/repair/nal_entry.h"

namespace {

using Words = std::vector<std::uint32_t>;

int typeCount(bool hevc) { return hevc ? 64 : 32; }

// The header word the reference showed for `type`: a NAL header of the type, then bytes that no
// rule lists.
std::uint32_t ownWord(int type, bool hevc) {
    const std::uint32_t header = hevc ? std::uint32_t(type) << 1 : 0x20u | std::uint32_t(type);
    const std::uint32_t word = (header << 8) | (hevc ? 0x06u : 0xABu);
    return mp4::headerWordBytes(type, hevc) == 3 ? (word << 8) | 0x5Au : word;
}

// A reference that showed units of every type, between 1000 + type and 2000 + type bytes, each
// type with a word of its own: what a rule changes is told apart from what it leaves.
AnalysisResult reference(bool hevc) {
    AnalysisResult r;
    for (int t = 0; t < typeCount(hevc); ++t)
        r.nalStats[std::size_t(t)] = nalEntry(1000u + std::uint32_t(t), 2000u + std::uint32_t(t), t, {ownWord(t, hevc)});
    return r;
}

// A run's entries completed by the rules of its preset, and the look-ahead on a unit behind a
// candidate of 20 bytes.
class CompletedRun {
public:
    CompletedRun(const std::string& preset, bool hevc, AnalysisResult entries)
        : hevc(hevc), entries_(std::move(entries)), traits_(PresetTraits::fromName(preset)) {
        std::ostringstream out;
        applyCameraRules(entries_, preset, hevc, out);
        printed = out.str();
        tracks_ = CameraTrackTable(entries_);
        // The candidate's length word and 20 bytes, the unit at 24, then bytes enough for the
        // look-ahead to judge it.
        bytes_.assign(1100, 0xC7);
        std::fill_n(bytes_.begin(), 4, 0);
        bytes_[3] = 20;
    }
    CompletedRun(const std::string& preset, bool hevc) : CompletedRun(preset, hevc, reference(hevc)) {}

    // Whether a unit of `type` with header word `word` and `length` is taken as a NAL unit.
    bool takes(int type, std::uint32_t word, std::uint32_t length) const {
        const int wordBytes = mp4::headerWordBytes(type, hevc);
        std::uint8_t* unit = bytes_.data() + 24;
        for (int i = 0; i < 4; ++i) unit[i] = std::uint8_t(length >> (24 - 8 * i));
        for (int i = 0; i < wordBytes; ++i) unit[4 + i] = std::uint8_t(word >> (8 * (wordBytes - 1 - i)));
        EXPECT_EQ(mp4::nalTypeOf(unit[4], hevc), type) << "a word of the type's own header";
        ScanSource source;
        source.data = bytes_.data();
        source.valid = std::int64_t(bytes_.size());
        std::string text;
        const bool ok = checkNextPacket(source, 0, 20, entries_, tracks_, traits_, ScanValues{},
                                        hevc ? VideoCoding::H265 : VideoCoding::H264, text);
        return ok && text == std::string(kNextPacketChecked) + "true (classic packet)";
    }

    // How many distinct header words of `type` a unit of `length` is taken with.
    std::size_t wordsTaken(int type, std::uint32_t length) const {
        const int tail = 8 * (mp4::headerWordBytes(type, hevc) - 1);
        // The type's NAL header bytes: one per nal_ref_idc for H.264, per high bit of the layer
        // for H.265.
        const std::uint32_t headers = hevc ? 2 : 4;
        std::size_t taken = 0;
        for (std::uint32_t h = 0; h < headers; ++h) {
            const std::uint32_t header = hevc ? (std::uint32_t(type) << 1) | h : (h << 5) | std::uint32_t(type);
            for (std::uint32_t rest = 0; rest < (1u << tail); ++rest)
                taken += takes(type, (header << tail) | rest, length);
        }
        return taken;
    }

    const bool hevc;
    std::string printed;

private:
    AnalysisResult entries_;
    PresetTraits traits_;
    CameraTrackTable tracks_;
    mutable std::vector<std::uint8_t> bytes_;
};

// The lengths a run takes for a unit of a type: from `shortest` to `longest`.
struct Span {
    std::uint32_t shortest;
    std::uint32_t longest;
};

std::string hex(std::uint32_t word) {
    std::ostringstream s;
    s << std::hex << std::uppercase << word;
    return s.str();
}

void expectSpan(const CompletedRun& run, int type, std::uint32_t word, Span span) {
    SCOPED_TRACE("type " + std::to_string(type) + ", word " + hex(word));
    EXPECT_TRUE(run.takes(type, word, span.shortest));
    EXPECT_FALSE(run.takes(type, word, span.shortest - 1));
    EXPECT_TRUE(run.takes(type, word, span.longest));
    EXPECT_FALSE(run.takes(type, word, span.longest + 1));
}

// What one rule makes a run take for its type: the lengths, some of the words it adds (its list's
// first and last), and how many words the type is then taken with, the reference's own included.
struct RuleEffect {
    int type;
    Span span;
    Words words;
    std::size_t wordCount;
};

void expectRule(const CompletedRun& run, const RuleEffect& rule) {
    // The reference's word takes the rule's lengths too: the rule's range replaces the reference's.
    expectSpan(run, rule.type, ownWord(rule.type, run.hevc), rule.span);
    for (const std::uint32_t word : rule.words) expectSpan(run, rule.type, word, rule.span);
    EXPECT_EQ(run.wordsTaken(rule.type, rule.span.longest), rule.wordCount) << "type " << rule.type;
}

// A type that no rule of the run names keeps what the reference showed, and its word alone.
void expectUntouched(const CompletedRun& run, const std::vector<RuleEffect>& rules) {
    for (int type = 0; type < typeCount(run.hevc); ++type) {
        bool named = false;
        for (const RuleEffect& rule : rules) named = named || rule.type == type;
        if (named) continue;
        const std::uint32_t min = 1000u + std::uint32_t(type);
        const bool halved = run.hevc || type == 1 || type == 5;
        const Span own{halved ? min / 2 : min, 2000u + std::uint32_t(type)};
        expectSpan(run, type, ownWord(type, run.hevc), own);
        EXPECT_EQ(run.wordsTaken(type, own.longest), 1u) << "type " << type;
    }
}

// The rules every H.264 run gets, whatever its preset.
const std::vector<RuleEffect> kAvcCommon = {
    {9, {3, 9}, {0x0910, 0x0930}, 4},
    {6, {5, 200}, {0x0600, 0x0605}, 4},
    {7, {8, 200}, {0x2764, 0x6764}, 6},
    {8, {4, 50}, {0x28EE, 0x68CE}, 6},
    {12, {4, 250000}, {0x0CFF}, 2},
};

struct SliceCase {
    const char* preset;
    RuleEffect type1;
    RuleEffect type5;
    const char* printed;
};

// The slices of an H.264 run take the lengths and words of the first row of the chain whose name
// tests hold: Canon's 70D and 600D rows before its own, Sony's PSP row before Sony's.
TEST(CameraRules, AvcSlicesTakeTheFirstMatchingRowOfTheChain) {
    constexpr std::uint32_t k1M = 1048575, k4M = 4194303, k16M = 16777215;
    const SliceCase cases[] = {
        // The reference's slices show none of the iPhone's first words: it adds none.
        {"apple iphone 12", {1, {5, k1M}, {}, 1}, {5, {5, 15349760}, {}, 1}, ""},
        {"dji mavic", {1, {5, k4M}, {}, 1}, {5, {5, k16M}, {}, 1}, ""},
        {"gopro hero 4", {1, {5, k4M}, {}, 1}, {5, {5, k16M}, {}, 1}, ""},
        {"canon eos 70d", {1, {257, k1M}, {}, 1}, {5, {257, k4M}, {}, 1}, "preset canon 70d: canon eos 70d\n"},
        {"canon eos 600d", {1, {257, k1M}, {}, 1}, {5, {257, k4M}, {}, 1}, "preset canon 600d: canon eos 600d\n"},
        {"canon eos 5d mark iv", {1, {257, k1M}, {}, 1}, {5, {257, k4M}, {}, 1},
         "preset canon 600d: canon eos 5d mark iv\n"},
        {"canon legria", {1, {257, k1M}, {0x019E, 0x219C}, 7}, {5, {257, k4M}, {0x258882, 0x258883}, 6}, ""},
        {"panasonic gh5", {1, {5, k1M}, {0x219A, 0x2199}, 10}, {5, {5, k4M}, {0x65000F, 0x650011}, 27}, ""},
        {"sony_psp", {1, {140, k1M}, {}, 1}, {5, {100, k4M}, {}, 1}, ""},
        {"sony a7", {1, {10, k1M}, {0x0100, 0x21E2}, 18}, {5, {5, k4M}, {0x258820, 0x258840}, 22}, ""},
        {"nikon d750", {1, {100, k1M}, {}, 1}, {5, {100, k4M}, {}, 1}, ""},
        {"small-mp4", {1, {15, 380000}, {}, 1}, {5, {75, 380000}, {}, 1}, ""},
        {"", {1, {16, k1M}, {}, 1}, {5, {250, k4M}, {}, 1}, ""},
        {"lavf58", {1, {16, k1M}, {}, 1}, {5, {250, k4M}, {}, 1}, ""},
    };
    for (const SliceCase& c : cases) {
        SCOPED_TRACE(std::string("preset '") + c.preset + "'");
        const CompletedRun run(c.preset, false);
        std::vector<RuleEffect> rules = kAvcCommon;
        rules.push_back(c.type1);
        rules.push_back(c.type5);
        for (const RuleEffect& rule : rules) expectRule(run, rule);
        expectUntouched(run, rules);
        EXPECT_EQ(run.printed, c.printed);
    }
}

// The iPhone's slice words join only a reference whose type-1 slices show one of the first three.
TEST(CameraRules, IphoneWordsJoinOnlySlicesThatShowTheirStart) {
    struct Case {
        std::uint32_t held;
        bool widened;
    };
    for (const Case& c : {Case{0x21E1, true}, Case{0x21E2, true}, Case{0x21E3, true}, Case{0x21E4, false},
                          Case{0x2188, false}}) {
        SCOPED_TRACE(hex(c.held));
        AnalysisResult entries = reference(false);
        entries.nalStats[1] = nalEntry(1001, 2001, 1, {c.held});
        const CompletedRun run("iphone 8", false, entries);
        EXPECT_TRUE(run.takes(1, c.held, 5000));
        EXPECT_EQ(run.takes(1, 0x21E1, 5000), c.widened);
        EXPECT_EQ(run.takes(1, 0x21FF, 5000), c.widened);
        EXPECT_FALSE(run.takes(1, 0x21E0, 5000));
        EXPECT_EQ(run.wordsTaken(1, 5000), c.widened ? 31u : 1u);
    }
}

struct HevcCase {
    const char* preset;
    bool type0;
    bool types2And7;
};

// An H.265 run takes the rules' lengths and words for its types; GoPro presets leave types 2 and 7
// to the reference, and the Hero7 type 0 as well. Nothing is printed.
TEST(CameraRules, HevcRulesByPreset) {
    const std::vector<RuleEffect> always = {
        {1, {8, 2000000}, {0x0201}, 2},     {19, {50000, 3226536}, {0x2601}, 2}, {20, {2502, 3226536}, {0x2801}, 2},
        {21, {25000, 3226536}, {0x2A01}, 2}, {32, {17, 35}, {0x4001}, 2},         {33, {21, 43}, {0x4201}, 2},
        {34, {3, 7}, {0x4401}, 2},           {39, {16, 42}, {0x4E0105}, 2},
    };
    const RuleEffect type0{0, {1, 700000}, {0x0001}, 2};
    const RuleEffect type2{2, {8, 2500000}, {0x0402, 0x0404}, 4};
    // Its list also holds 4401, a type-34 header that no type-7 unit carries.
    const RuleEffect type7{7, {4000, 550513}, {0x0E02, 0x0E01}, 3};
    const HevcCase cases[] = {
        {"", true, true}, {"gopro hero 4", true, false}, {"gopro hero7", false, false}, {"canon eos 70d", true, true}};
    for (const HevcCase& c : cases) {
        SCOPED_TRACE(c.preset);
        const CompletedRun run(c.preset, true);
        std::vector<RuleEffect> rules = always;
        if (c.type0) rules.push_back(type0);
        if (c.types2And7) rules.insert(rules.end(), {type2, type7});
        for (const RuleEffect& rule : rules) expectRule(run, rule);
        expectUntouched(run, rules);
        EXPECT_EQ(run.printed, "");
    }
}

// Entries the rules completed come out of them again as they went in: a word the reference held
// already is not listed twice, and nothing is widened or narrowed a second time.
TEST(CameraRules, RulesAppliedAgainChangeNothing) {
    struct Case {
        const char* preset;
        bool hevc;
    };
    for (const Case& c : {Case{"", false}, Case{"sony a7", false}, Case{"panasonic gh5", false},
                          Case{"iphone 8", false}, Case{"", true}}) {
        SCOPED_TRACE(c.preset);
        AnalysisResult entries = reference(c.hevc);
        if (!c.hevc) {
            entries.nalStats[8].headerWords = {0x28CE};
            entries.nalStats[1].headerWords = {0x21E1, 0x0100};
        }
        std::ostringstream out;
        applyCameraRules(entries, c.preset, c.hevc, out);
        const AnalysisResult once = entries;
        applyCameraRules(entries, c.preset, c.hevc, out);
        for (int t = 0; t < kNalTypeCount; ++t) {
            SCOPED_TRACE("type " + std::to_string(t));
            const NalTypeStats& a = once.nalStats[std::size_t(t)];
            const NalTypeStats& b = entries.nalStats[std::size_t(t)];
            EXPECT_EQ(b.minSize, a.minSize);
            EXPECT_EQ(b.maxSize, a.maxSize);
            EXPECT_EQ(b.headerWords, a.headerWords);
        }
    }
}

}  // namespace
