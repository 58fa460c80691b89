#include "tests/support/qtest_main.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#include "media/ffmpeg_log.h"
#include "tests/support/opened_urls.h"
#include "tests/support/private_settings.h"

// Qt's offscreen platform never frees its screen; read only by the leak checker of sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libqoffscreen.so\n"; }

namespace testsupport {

int runQtTestMain(int argc, char** argv, QObject* (*makeTest)()) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Made before anything can open a settings store; outlives the application object.
    const QTemporaryDir settingsRoot(QDir::tempPath() + QStringLiteral("/qt-test-settings-XXXXXX"));
    if (!isolateSettings(settingsRoot)) {
        std::fprintf(stderr, "cannot set up a private settings folder\n");
        return 2;
    }
    setFfmpegLogLevel(FfmpegLogLevel::Quiet);  // as the programs do
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    OpenedUrls::install();
    const std::unique_ptr<QObject> test(makeTest());
    return QTest::qExec(test.get(), argc, argv);
}

}  // namespace testsupport
