// Test entry for programs that drive Qt objects: one QApplication for the whole run,
// on the offscreen platform unless the environment chose another.
//
// Every run gets a configuration folder of its own, so no test reads or writes the user's
// settings: QSettings (all formats and scopes), XDG_CONFIG_HOME (inherited by the programs the
// tests start) and the movies folder all point into it. It is removed when the run ends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool isolateSettings(const QTemporaryDir& root) {
    if (!root.isValid()) return false;
    const QString config = root.filePath(QStringLiteral("config"));
    const QString movies = root.filePath(QStringLiteral("Videos"));
    if (!QDir().mkpath(config)) return false;

    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (const auto scope : {QSettings::UserScope, QSettings::SystemScope}) QSettings::setPath(format, scope, config);

    // The platform's movies folder comes from the user-dirs file of the configuration folder;
    // it is left uncreated, as on a fresh account.
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    if (!dirs.open(QIODevice::WriteOnly)) return false;
    const QByteArray line = "XDG_VIDEOS_DIR=\"" + QFile::encodeName(movies) + "\"\n";
    return dirs.write(line) == line.size();
}

}  // namespace

// Qt's offscreen platform never frees its screen; without this, sanitizer builds fail at
// test discovery. Read only by the leak checker of sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libqoffscreen.so\n"; }

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    // Made before anything can open a settings store; outlives the application object.
    const QTemporaryDir settingsRoot(QDir::tempPath() + QStringLiteral("/qt-test-settings-XXXXXX"));
    if (!isolateSettings(settingsRoot)) {
        std::fprintf(stderr, "cannot set up a private settings folder\n");
        return 2;
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
