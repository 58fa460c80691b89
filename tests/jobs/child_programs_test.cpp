// Where the job finds the programs it starts, and the seam tests use to swap them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "jobs/child_programs.h"
#include "tests/support/test_files.h"

using namespace testsupport;

TEST(ChildPrograms, OwnProgramsAreNamedAbsolutelyBesideTheApplication) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    // Found or not, the path stays in the application's folder: a program of the same name on
    // PATH is never run in its place.
    ASSERT_TRUE(writeFile(dir.file("Ordwick"), "x"));
    for (const auto& row : {std::make_pair(ChildProgram::ReferenceAnalysis, "Ordwick"),
                            std::make_pair(ChildProgram::AudioRepair, "Brannoc")}) {
        const QString path = defaultChildProgramPath(row.first, folder);
        EXPECT_EQ(path, QDir(folder).absoluteFilePath(row.second)) << row.second;
        EXPECT_TRUE(QFileInfo(path).isAbsolute());
    }
    // A relative folder is made absolute too.
    EXPECT_TRUE(QFileInfo(defaultChildProgramPath(ChildProgram::AudioRepair, "rel/dir")).isAbsolute());
}

TEST(ChildPrograms, FfmpegComesFromPathAsAnAbsolutePath) {
    const QString onPath = QStandardPaths::findExecutable("ffmpeg");
    ASSERT_FALSE(onPath.isEmpty()) << "the tests need the ffmpeg tool on PATH";
    const QString path = defaultChildProgramPath(ChildProgram::Ffmpeg, "/nowhere");
    EXPECT_TRUE(QFileInfo(path).isAbsolute());
    EXPECT_EQ(QFileInfo(path).canonicalFilePath(), QFileInfo(onPath).canonicalFilePath());
}

TEST(ChildPrograms, OverrideReplacesOneProgramUntilCleared) {
    const QString before = childProgramPath(ChildProgram::Ffmpeg);
    EXPECT_EQ(childProgramPath(ChildProgram::ReferenceAnalysis),
              defaultChildProgramPath(ChildProgram::ReferenceAnalysis, QCoreApplication::applicationDirPath()));

    setChildProgramOverride(ChildProgram::Ffmpeg, "fake/ffmpeg");
    EXPECT_EQ(childProgramPath(ChildProgram::Ffmpeg), QDir::current().absoluteFilePath("fake/ffmpeg"));
    EXPECT_EQ(childProgramPath(ChildProgram::AudioRepair),
              defaultChildProgramPath(ChildProgram::AudioRepair, QCoreApplication::applicationDirPath()));

    setChildProgramOverride(ChildProgram::Ffmpeg, QString());
    EXPECT_EQ(childProgramPath(ChildProgram::Ffmpeg), before);
}
