#include "repair/output_file.h"

#include <gtest/gtest.h>

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

}  // namespace
