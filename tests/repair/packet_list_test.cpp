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
        else list.addVideo(1, VideoCoding::H264);
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
    for (int i = 0; i < 100000; ++i) list.addVideo(i % 64, VideoCoding::H264);
    list.addSpecial(SpecialKind::TimecodeSuite, "[TMCD - Suite +1]");
    EXPECT_EQ(list.count(), 100001u);
    EXPECT_EQ(list.lastKind(), PacketList::Kind::Special);
    EXPECT_TRUE(list.lastIsSuite());
    EXPECT_EQ(list.labelAt(5), "IDR picture");
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
    for (int i = 0; i < 2000; ++i) list.addVideo(1, VideoCoding::H264);
    EXPECT_FALSE(list.classifyLastPackets());
}

// Each packet is labelled as the repair recognised it: a video packet by its type's name in the
// run's coding (an H.265 type is not read as the H.264 type of the same number), a special
// packet by its tag, a junk run by what became of it.
TEST(PacketListTest, LabelsTellWhatEachPacketWas) {
    PacketList list;
    list.addVideo(5, VideoCoding::H264);
    list.addVideo(39, VideoCoding::H265);
    list.addVideo(1, VideoCoding::H265);
    list.addVideo(99, VideoCoding::H264);
    list.addVideo(-1, VideoCoding::H265);
    list.addSpecial(SpecialKind::TimecodeSuite, "[TMCD - Suite +1]");
    list.addAudio();
    list.addSkip();
    const std::vector<std::pair<std::string, PacketList::Kind>> expected = {
        {"IDR picture", PacketList::Kind::Video},
        {"NAL_UNIT_PREFIX_SEI", PacketList::Kind::Video},
        {"NAL_UNIT_CODED_SLICE_TRAIL_R", PacketList::Kind::Video},
        {"Invalid", PacketList::Kind::Video},
        {"NAL_UNIT_INVALID", PacketList::Kind::Video},
        {"[TMCD - Suite +1]", PacketList::Kind::Special},
        {"audio", PacketList::Kind::Audio},
        {"skip", PacketList::Kind::Skip},
    };
    ASSERT_EQ(list.count(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(list.labelAt(i), expected[i].first);
        EXPECT_EQ(list.kindAt(i), expected[i].second);
    }
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
