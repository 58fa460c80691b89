#include <gtest/gtest.h>

#include "mp4/fourcc_text.h"
#include "mp4/sample_entry.h"
#include "tests/mp4/box_builder.h"
#include "tests/mp4/span_helpers.h"

using namespace boxes;

namespace {

std::vector<mp4::SampleEntry> entriesOf(const std::string& stsdBox, mp4::EntryLayout layout) {
    return mp4::parseSampleDescriptions(payloadOf(stsdBox), layout);
}

}  // namespace

TEST(SampleEntry, AudioFieldsOfEverySoundVersion) {
    struct Case {
        const char* name;
        std::string entry;
        std::uint32_t rate;
        std::uint16_t bits, channels;
    };
    const Case cases[] = {
        {"version 0", audioEntry("twos", 2, 16, 48000, ""), 48000, 16, 2},
        {"version 1", audioEntry("sowt", 1, 16, 44100, "", 1), 44100, 16, 1},
        {"version 2", audioEntry("in24", 6, 24, 96000, "", 2), 96000, 24, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto entries = entriesOf(stsd({c.entry}), mp4::EntryLayout::Audio);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].sampleRate, c.rate);
        EXPECT_EQ(entries[0].sampleSize, c.bits);
        EXPECT_EQ(entries[0].channelCount, c.channels);
        EXPECT_TRUE(entries[0].children.empty());
    }
}

TEST(SampleEntry, ChildrenFollowTheVersionExtension) {
    // esds right after the v1 extension, and inside 'wave' as QuickTime writes it.
    const std::string direct = audioEntry("mp4a", 2, 16, 48000, esds(0x40), 1);
    const std::string wave = audioEntry("mp4a", 2, 16, 48000, box("wave", box("frma", "mp4a") + esds(0x40) + u32(8) + u32(0)), 1);
    for (const std::string& entry : {direct, wave}) {
        const std::string description = stsd({entry});  // the entries point into it
        const auto entries = entriesOf(description, mp4::EntryLayout::Audio);
        ASSERT_EQ(entries.size(), 1u);
        mp4::ByteSpan payload;
        ASSERT_TRUE(mp4::findEsds(entries[0], payload));
        EXPECT_EQ(payload.size, esds(0x40).size() - 8);
    }
}

TEST(SampleEntry, VisualFieldsAndSeveralEntries) {
    const std::string description = stsd({visualEntry("avc1", 1920, 1080, box("avcC", "c")), visualEntry("mp4v", 640, 480, "", 32)});
    const auto entries = entriesOf(description, mp4::EntryLayout::Visual);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].format, mp4::fourcc("avc1"));
    EXPECT_EQ(entries[0].width, 1920);
    EXPECT_EQ(entries[0].height, 1080);
    EXPECT_EQ(entries[0].depth, 24);
    mp4::ByteSpan avcC;
    EXPECT_TRUE(mp4::findEntryBox(entries[0], mp4::fourcc("avcC"), avcC));
    EXPECT_EQ(textOf(avcC), "c");
    EXPECT_EQ(entries[1].width, 640);
    EXPECT_EQ(entries[1].depth, 32);
}

TEST(SampleEntry, CountsAndShortEntriesBoundTheList) {
    // Declares five entries, holds one, then an audio entry too short for its fields.
    const std::string body = u32(5) + audioEntry("twos", 2, 16, 48000, "") + box("sowt", zeros(12));
    const auto entries = mp4::parseSampleDescriptions(payloadOf(fullBox("stsd", 0, 0, body)), mp4::EntryLayout::Audio);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].format, mp4::fourcc("twos"));
    // A layout without fixed fields keeps everything after the data reference index.
    const auto other = entriesOf(stsd({otherEntry("tmcd", u32(0) + u32(25))}), mp4::EntryLayout::Other);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].children.size, 8u);
    EXPECT_EQ(other[0].sampleRate, 0u);
}

TEST(SampleEntry, LayoutByHandler) {
    EXPECT_EQ(mp4::entryLayoutFor(mp4::fourcc("vide")), mp4::EntryLayout::Visual);
    EXPECT_EQ(mp4::entryLayoutFor(mp4::fourcc("soun")), mp4::EntryLayout::Audio);
    EXPECT_EQ(mp4::entryLayoutFor(mp4::fourcc("tmcd")), mp4::EntryLayout::Other);
}
