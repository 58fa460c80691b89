#include "repair/output_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "tests/support/test_files.h"

namespace {

TEST(OutputFile, BuffersAndCountsWhatReachedTheFile) {
    testsupport::TempDir dir;
    OutputFile out(8);
    ASSERT_TRUE(out.open(QString::fromStdString(dir.file("o.bin"))));
    EXPECT_TRUE(out.write("abc", 3));
    EXPECT_EQ(out.committed(), 0);  // still buffered
    EXPECT_EQ(out.accepted(), 3);
    EXPECT_TRUE(out.write("0123456789", 10));  // larger than the buffer: written through
    EXPECT_EQ(out.committed(), 13);
    EXPECT_TRUE(out.writeAt(1, "B", 1));
    EXPECT_TRUE(out.close());
    EXPECT_EQ(testsupport::readFile(dir.file("o.bin")), "aBc0123456789");
}

TEST(OutputFile, FailuresAreKept) {
    testsupport::TempDir dir;
    OutputFile missing;
    EXPECT_FALSE(missing.open(QString::fromStdString(dir.file("no/such/o.bin"))));
    EXPECT_FALSE(missing.write("a", 1));

    if (!testsupport::fileExists("/dev/full")) GTEST_SKIP() << "no full device";
    OutputFile full(4);
    ASSERT_TRUE(full.open("/dev/full"));
    EXPECT_TRUE(full.write("ab", 2));  // accepted into the buffer
    EXPECT_FALSE(full.write("cdefgh", 6));
    EXPECT_TRUE(full.failed());
    EXPECT_EQ(full.committed(), 0) << "nothing reached the device";
    EXPECT_FALSE(full.write("x", 1));
    EXPECT_FALSE(full.close());
}

TEST(OutputFile, LargePiecesCopiedFromTheSourceKeepTheirPlace) {
    testsupport::TempDir dir;
    std::string source(OutputFile::kDirectWriteBytes + 1000, '\0');
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = char(i * 31 + i / 977);
    ASSERT_TRUE(testsupport::writeFile(dir.file("source.bin"), source));
    const int fd = ::open(dir.file("source.bin").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    const std::size_t piece = OutputFile::kDirectWriteBytes;  // large enough to bypass the buffer
    struct Case {
        const char* name;
        int sourceFd;  // -1: only the bytes in memory are there
    };
    for (const Case c : {Case{"from the file", fd}, Case{"from memory", -1}}) {
        SCOPED_TRACE(c.name);
        OutputFile out;
        ASSERT_TRUE(out.open(QString::fromStdString(dir.file("o.bin"))));
        EXPECT_TRUE(out.write("head", 4));  // buffered, must come first
        EXPECT_TRUE(out.copyFrom(c.sourceFd, 500, source.data() + 500, piece));
        EXPECT_TRUE(out.copyFrom(c.sourceFd, 7, source.data() + 7, 3));  // small: buffered
        EXPECT_TRUE(out.close());
        EXPECT_TRUE(testsupport::readFile(dir.file("o.bin")) == "head" + source.substr(500, piece) + source.substr(7, 3));
    }
    ::close(fd);
}

}  // namespace

namespace {

TEST(OutputFile, TruncateCutsBufferedBytesAndLaterWritesAppendThere) {
    testsupport::TempDir dir;
    OutputFile out(64);
    ASSERT_TRUE(out.open(QString::fromStdString(dir.file("o.bin"))));
    EXPECT_TRUE(out.write("abcdef", 6));  // still in the buffer
    EXPECT_FALSE(out.truncate(7)) << "beyond what was accepted";
    EXPECT_TRUE(out.truncate(4));
    EXPECT_EQ(out.accepted(), 4);
    EXPECT_TRUE(out.write("XY", 2));
    EXPECT_TRUE(out.close());
    EXPECT_EQ(testsupport::readFile(dir.file("o.bin")), "abcdXY");
}

}  // namespace
