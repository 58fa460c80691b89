#include "repair/packet_list.h"

#include <gtest/gtest.h>

namespace {

// Fills a list with `count` video labels, with audio at the given indexes.
PacketList listWith(std::size_t count, std::initializer_list<std::size_t> audio,
                    std::initializer_list<std::size_t> skip = {}) {
    PacketList list;
    for (std::size_t i = 0; i < count; ++i) {
        if (std::find(audio.begin(), audio.end(), i) != audio.end()) list.addAudio();
        else if (std::find(skip.begin(), skip.end(), i) != skip.end()) list.addSkip();
        else list.addVideo(1);
    }
    return list;
}

}  // namespace

TEST(PacketListTest, ClassifyLastPackets) {
    struct Case {
        const char* name;
        PacketList list;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"24 labels", listWith(24, {3}), false},
        {"30 labels, audio at 3", listWith(30, {3}), true},
        {"audio at 3 and 5", listWith(30, {3, 5}), false},
        {"audio at 3, skip at 5", listWith(30, {3}, {5}), false},
        {"skip at 3 and 5", listWith(30, {}, {3, 5}), false},
        {"skip at 3 and audio at 6", listWith(30, {6}, {3}), true},
        {"no audio", listWith(30, {}), false},
        {"audio at the last label only", listWith(30, {29}), false},
        {"audio two before the end", listWith(30, {27}), true},
        {"runs two apart beyond the examined labels", listWith(2000, {3, 1700, 1702}), true},
        {"runs two apart at the examined edge", listWith(2000, {1499, 1501}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.list.classifyLastPackets(), c.expected);
        EXPECT_EQ(c.list.classifyLastPackets(), c.expected) << "asked twice";
    }
}

TEST(PacketListTest, StaysBoundedAndRemembersTheLatest) {
    PacketList list;
    for (int i = 0; i < 100000; ++i) list.addVideo(i % 64);
    list.addSpecial(SpecialKind::TimecodeSuite, "[TMCD - Suite +1]");
    EXPECT_EQ(list.count(), 100001u);
    EXPECT_EQ(list.lastKind(), PacketList::Kind::Special);
    EXPECT_TRUE(list.lastIsSuite());
    EXPECT_EQ(list.nalTypeAt(5), 5);
    list.addAudio();
    EXPECT_FALSE(list.lastIsSuite());
    EXPECT_EQ(list.lastKind(), PacketList::Kind::Audio);
    list.clear();
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(list.lastIsSuite());
    EXPECT_FALSE(list.classifyLastPackets());
}

TEST(PacketListTest, ClearedListIsClassifiedAfresh) {
    PacketList list = listWith(2000, {3});
    EXPECT_TRUE(list.classifyLastPackets());
    list.clear();
    for (int i = 0; i < 2000; ++i) list.addVideo(1);
    EXPECT_FALSE(list.classifyLastPackets());
}

TEST(PacketListTest, TallyOfTags) {
    PacketList list;
    list.addSpecial(SpecialKind::Fragment, "[moof packet]");
    list.addSpecial(SpecialKind::CameraRecord, "[CANON - 0x04008040]");
    list.addSpecial(SpecialKind::Fragment, "[moof packet]");
    ASSERT_EQ(list.tags().size(), 2u);
    EXPECT_EQ(list.tags()[0].tag, "[moof packet]");
    EXPECT_EQ(list.tags()[0].count, 2u);
    EXPECT_EQ(list.tags()[1].count, 1u);
    for (std::size_t i = 0; i < PacketList::kMaxTags + 10; ++i)
        list.addSpecial(SpecialKind::CameraRecord, "[t" + std::to_string(i) + "]");
    EXPECT_EQ(list.tags().size(), PacketList::kMaxTags);
}

TEST(PacketListTest, TheKindTellsATimeCodeRunNotTheTag) {
    PacketList list;
    // A camera track's tag is its coding as the reference names it: any text at all.
    list.addSpecial(SpecialKind::CameraTrack, "[Timecode Suite]");
    EXPECT_FALSE(list.lastIsSuite());
    list.addSpecial(SpecialKind::TimecodeSuite, "[TMCD Canon - Suite x2 +1]");
    EXPECT_TRUE(list.lastIsSuite());
    EXPECT_EQ(list.tags().size(), 2u) << "both tags are kept for display";
}
