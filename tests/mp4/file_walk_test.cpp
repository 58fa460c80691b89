#include <gtest/gtest.h>

#include <algorithm>

#include "mp4/file_walk.h"
#include "mp4/fourcc_text.h"
#include "tests/mp4/box_builder.h"
#include "tests/support/test_files.h"

using namespace boxes;

namespace {

mp4::TopLevel walkBytes(const std::string& bytes) {
    testsupport::TempDir dir;
    const std::string path = dir.file("walk.mp4");
    EXPECT_TRUE(testsupport::writeFile(path, bytes));
    mp4::MediaFile file;
    EXPECT_TRUE(file.open(path));
    return mp4::walkTopLevel(file);
}

}  // namespace

TEST(FileWalk, MovieAgainstMediaData) {
    const std::string ftypBox = ftyp("mp42", 1, {"isom", u32(0), "mp42"});
    const std::string moov = box("moov", box("mvhd", "x"));
    struct Case {
        const char* name;
        std::string file;
        bool hasMovie, before;
    };
    const Case cases[] = {
        {"moov first", ftypBox + moov + box("mdat", "data"), true, true},
        {"moov last", ftypBox + box("mdat", "data") + moov, true, false},
        {"64-bit mdat before moov", ftypBox + box64("mdat", "data") + moov, true, false},
        {"free boxes around", ftypBox + box("free", "") + moov + box("mdat", ""), true, true},
        {"mdat to the end, no moov", ftypBox + boxToEnd("mdat", moov), false, false},
        {"mdat cut off hides the moov", ftypBox + u32(1000) + "mdat" + moov, false, false},
        {"garbage size ends the walk", ftypBox + u32(4) + "junk" + moov, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const mp4::TopLevel top = walkBytes(c.file);
        ASSERT_TRUE(top.fileType.present);
        EXPECT_EQ(top.fileType.majorBrand, mp4::fourcc("mp42"));
        EXPECT_EQ(top.fileType.minorVersion, 1u);
        EXPECT_EQ(top.fileType.compatibleBrands.size(), 3u);
        EXPECT_EQ(top.hasMovie, c.hasMovie);
        if (c.hasMovie) {
            EXPECT_EQ(top.movieBeforeMediaData, c.before);
            EXPECT_EQ(std::string(top.movie.begin(), top.movie.end()), moov);
        }
    }
}

TEST(FileWalk, CutOffMovieIsLoadedUpToTheEnd) {
    std::string file = ftyp("isom", 0, {}) + box("moov", box("mvhd", zeros(100)));
    file.resize(file.size() - 30);
    const mp4::TopLevel top = walkBytes(file);
    ASSERT_TRUE(top.hasMovie);
    EXPECT_EQ(top.movie.size(), file.size() - ftyp("isom", 0, {}).size());
}

TEST(FileWalk, TrackBoxOffsetsAreTheMoviesOwnTracks) {
    const std::string head = ftyp("isom", 0, {"isom"}) + box("mdat", "data");
    const std::string trak = box("trak", box("tkhd", "x"));
    struct Case {
        const char* name;
        std::vector<std::string> children;  // of the movie box
        bool wideHeader;
        std::size_t cut;  // bytes cut off the end of the file
        std::vector<std::size_t> tracks;  // which children are listed
    };
    const Case cases[] = {
        {"among other boxes", {box("mvhd", "x"), trak, box("udta", trak), trak}, false, 0, {1, 3}},
        {"behind a 64-bit movie header", {trak, trak}, true, 0, {0, 1}},
        {"the last one cut off by the end of the file", {trak, trak}, false, 2, {0}},
        {"no tracks", {box("mvhd", "x")}, false, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string children;
        for (const std::string& child : c.children) children += child;
        std::string file = head + (c.wideHeader ? box64("moov", children) : box("moov", children));
        file.resize(file.size() - c.cut);
        std::vector<std::uint64_t> expected;
        std::uint64_t at = head.size() + (c.wideHeader ? 16 : 8);
        for (std::size_t i = 0; i < c.children.size(); ++i) {
            if (std::find(c.tracks.begin(), c.tracks.end(), i) != c.tracks.end()) expected.push_back(at);
            at += c.children[i].size();
        }
        const mp4::TopLevel top = walkBytes(file);
        EXPECT_EQ(top.movieOffset, head.size());
        EXPECT_EQ(mp4::trackBoxOffsets(top), expected);
    }
    EXPECT_TRUE(mp4::trackBoxOffsets(walkBytes(head)).empty()) << "no movie";
}

TEST(FileWalk, FilesWithoutBoxes) {
    EXPECT_FALSE(walkBytes("").fileType.present);
    EXPECT_FALSE(walkBytes("short").hasMovie);
    const mp4::TopLevel top = walkBytes(box("ftyp", "abc"));  // too short for brand and version
    EXPECT_FALSE(top.fileType.present);
}

TEST(MediaFile, ReadsStayInsideTheFile) {
    testsupport::TempDir dir;
    const std::string path = dir.file("f.bin");
    ASSERT_TRUE(testsupport::writeFile(path, "abcdef"));
    mp4::MediaFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(file.size(), 6u);
    char buffer[8] = {};
    EXPECT_TRUE(file.readAt(2, buffer, 4));
    EXPECT_EQ(std::string(buffer, 4), "cdef");
    EXPECT_FALSE(file.readAt(3, buffer, 4));
    EXPECT_FALSE(file.readAt(~0ull, buffer, 1));
    mp4::MediaFile missing;
    EXPECT_FALSE(missing.open(dir.file("none")));
    EXPECT_FALSE(missing.open(dir.path()));  // a folder is no file
}
