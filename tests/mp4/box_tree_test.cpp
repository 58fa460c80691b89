#include <gtest/gtest.h>

#include <vector>

#include "mp4/box_tree.h"
#include "mp4/fourcc_text.h"
#include "tests/mp4/box_builder.h"
#include "tests/mp4/span_helpers.h"

using namespace boxes;

namespace {

std::vector<std::uint8_t> vec(const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); }

}  // namespace

TEST(BoxTree, FindsBoxesByPathAndLeavesLeavesClosed) {
    const std::string stsz = box("stsz", "sizes");
    const std::string moov =
        box("moov", box("mvhd", "m") + box("trak", box("tkhd", "1")) +
                        box("trak", box("tkhd", "2") + box("mdia", box("minf", box("stbl", stsz + box("stsd", box("stsz", "x")))))));
    const mp4::BoxTree tree(vec(moov));
    ASSERT_NE(tree.root(), nullptr);
    EXPECT_FALSE(tree.damaged());
    const auto traks = tree.children(*tree.root(), mp4::fourcc("trak"));
    ASSERT_EQ(traks.size(), 2u);
    EXPECT_EQ(tree.find(*traks[0], "mdia/minf/stbl/stsz"), nullptr);
    const mp4::Box* found = tree.find(*traks[1], "mdia/minf/stbl/stsz");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(textOf(found->payload), "sizes");
    // 'stsd' is not opened as a container: its inner box is no child.
    const mp4::Box* stsd = tree.find(*traks[1], "mdia/minf/stbl/stsd");
    ASSERT_NE(stsd, nullptr);
    EXPECT_EQ(stsd->firstChild, -1);
    EXPECT_EQ(tree.find(*traks[1], "mdia/min"), nullptr);
}

TEST(BoxTree, ChildRunningPastItsParentEndsThatParentsChildren) {
    // The trak claims 200 bytes inside a moov of 40: the trak is dropped, the mvhd kept.
    const std::string moov = box("moov", box("mvhd", "m") + u32(200) + "trak" + zeros(20));
    const mp4::BoxTree tree(vec(moov));
    ASSERT_NE(tree.root(), nullptr);
    EXPECT_TRUE(tree.damaged());
    EXPECT_NE(tree.firstChild(*tree.root(), mp4::fourcc("mvhd")), nullptr);
    EXPECT_EQ(tree.firstChild(*tree.root(), mp4::fourcc("trak")), nullptr);
}

TEST(BoxTree, CutOffMovieKeepsWhatItHolds) {
    std::string moov = box("moov", box("mvhd", "m") + box("trak", box("tkhd", "1")));
    moov.resize(moov.size() - 3);
    const mp4::BoxTree tree(vec(moov));
    ASSERT_NE(tree.root(), nullptr);
    EXPECT_TRUE(tree.damaged());
    EXPECT_NE(tree.firstChild(*tree.root(), mp4::fourcc("mvhd")), nullptr);
}

TEST(BoxTree, DeepNestingIsLeftUnopened) {
    std::string inner = box("stsz", "deep");
    for (int i = 0; i < 40; ++i) inner = box(i % 2 ? "trak" : "mdia", inner);
    const mp4::BoxTree tree(vec(box("moov", inner)));
    ASSERT_NE(tree.root(), nullptr);
    EXPECT_TRUE(tree.damaged());
}

TEST(BoxTree, UnusableHeaderGivesNoRoot) {
    const mp4::BoxTree tree(vec(u32(3) + "moov"));
    EXPECT_EQ(tree.root(), nullptr);
}
