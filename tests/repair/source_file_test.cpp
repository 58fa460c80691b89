// The damaged file must be a regular file: the engine refuses a FIFO or a folder in its place
// at once, before any output, instead of waiting on it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QString>

#include "repair/video_repair.h"
#include "tests/support/special_files.h"
#include "tests/support/test_files.h"

using namespace testsupport;

TEST(RepairSource, FifoOrFolderIsUnreadableWithoutWaiting) {
    TempDir dir;
    FifoWatch fifo(dir.file("fifo.mp4"), 10);
    ASSERT_TRUE(fifo.made());
    const std::string folder = dir.file("folder.mp4");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    for (const std::string& source : {fifo.path(), folder}) {
        SCOPED_TRACE(source);
        videoRepair engine;
        const QString description = QString::fromStdString(dir.file("ref.xml"));
        const int result =
            engine.startFixer(QString::fromStdString(source), description, QString::fromStdString(dir.path() + "/"));
        EXPECT_EQ(result, videoRepair::kSourceUnreadable);
    }
    EXPECT_FALSE(fifo.released()) << "the engine waited on the FIFO";
}
