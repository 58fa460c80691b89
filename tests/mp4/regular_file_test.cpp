// Only regular files are opened: a FIFO, a device or a folder given as a video is refused at
// once, never waited on. What is opened is read at positions, to the file's end.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "mp4/media_file.h"
#include "mp4/regular_file.h"
#include "tests/support/special_files.h"
#include "tests/support/test_files.h"

using namespace testsupport;

namespace {

// Long past anything a refusal takes; only code that waits on the FIFO ever reaches it.
constexpr double kFifoPatience = 10;

struct KindCase {
    const char* name;
    bool regular;
    // Makes the entry at `path`; may hand back a FIFO watch to keep for the test.
    std::function<std::unique_ptr<FifoWatch>(const std::string& path)> make;
};

std::unique_ptr<FifoWatch> regularFile(const std::string& path) {
    writeFile(path, "ftyp....");
    return nullptr;
}

const KindCase kKinds[] = {
    {"regular file", true, regularFile},
    {"link to a regular file", true,
     [](const std::string& path) {
         regularFile(path + ".target");
         EXPECT_EQ(symlink((path + ".target").c_str(), path.c_str()), 0);
         return std::unique_ptr<FifoWatch>();
     }},
    {"FIFO", false, [](const std::string& path) { return std::make_unique<FifoWatch>(path, kFifoPatience); }},
    {"link to a FIFO", false,
     [](const std::string& path) {
         auto watch = std::make_unique<FifoWatch>(path + ".fifo", kFifoPatience);
         EXPECT_EQ(symlink((path + ".fifo").c_str(), path.c_str()), 0);
         return watch;
     }},
    {"device", false,
     [](const std::string& path) {
         EXPECT_EQ(symlink("/dev/null", path.c_str()), 0);
         return std::unique_ptr<FifoWatch>();
     }},
    {"folder", false,
     [](const std::string& path) {
         EXPECT_EQ(mkdir(path.c_str(), 0700), 0);
         return std::unique_ptr<FifoWatch>();
     }},
    {"missing", false, [](const std::string&) { return std::unique_ptr<FifoWatch>(); }},
};

}  // namespace

TEST(RegularFile, OnlyRegularFilesAreOpened) {
    for (const KindCase& c : kKinds) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("clip.mp4");
        const std::unique_ptr<FifoWatch> watch = c.make(path);
        EXPECT_EQ(mp4::isRegularFile(path), c.regular);

        const int fd = mp4::openRegularFile(path);
        EXPECT_EQ(fd >= 0, c.regular);
        if (fd >= 0) {
            char byte = 0;
            EXPECT_EQ(::read(fd, &byte, 1), 1) << "the descriptor reads as usual";
            ::close(fd);
        }

        mp4::MediaFile file;
        EXPECT_EQ(file.open(path), c.regular);
        if (watch) {
            EXPECT_FALSE(watch->released()) << "waited on the FIFO";
        }
    }
}

TEST(RegularFile, ReadsAtAPositionStopOnlyAtTheEnd) {
    TempDir dir;
    const std::string path = dir.file("clip.mp4");
    writeFile(path, "0123456789");
    std::uint64_t size = 0;
    const int fd = mp4::openRegularFile(path, size);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(size, 10u);
    struct Case {
        std::uint64_t offset;
        std::size_t count;
        std::int64_t got;
        const char* bytes;
    };
    const Case cases[] = {
        {0, 4, 4, "0123"}, {6, 4, 4, "6789"}, {8, 4, 2, "89"}, {10, 4, 0, ""}, {1000, 4, 0, ""}, {3, 0, 0, ""},
    };
    for (const Case& c : cases) {
        char buffer[4] = {};
        EXPECT_EQ(mp4::readFileAt(fd, c.offset, buffer, c.count), c.got) << c.offset;
        EXPECT_EQ(std::string(buffer, std::size_t(std::max<std::int64_t>(c.got, 0))), c.bytes) << c.offset;
    }
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 0) << "the descriptor's own position stays where it was";
    ::close(fd);
    char byte = 0;
    EXPECT_EQ(mp4::readFileAt(fd, 0, &byte, 1), -1) << "a closed descriptor is a read error, not an end";
}
