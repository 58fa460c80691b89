// Test entry for programs that drive Qt objects: one QApplication for the whole run,
// on the offscreen platform unless the environment chose another.
//
// Every run gets a configuration folder of its own (tests/support/private_settings.h), removed
// when the run ends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

#include "media/ffmpeg_log.h"
#include "tests/support/private_settings.h"

// Qt's offscreen platform never frees its screen; without this, sanitizer builds fail at
// test discovery. Read only by the leak checker of sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libqoffscreen.so\n"; }

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    // Made before anything can open a settings store; outlives the application object.
    const QTemporaryDir settingsRoot(QDir::tempPath() + QStringLiteral("/qt-test-settings-XXXXXX"));
    if (!testsupport::isolateSettings(settingsRoot)) {
        std::fprintf(stderr, "cannot set up a private settings folder\n");
        return 2;
    }
    setFfmpegLogLevel(FfmpegLogLevel::Quiet);  // as the programs do
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
