#include <gtest/gtest.h>

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
