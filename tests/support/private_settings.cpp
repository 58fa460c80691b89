#include "tests/support/private_settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace testsupport {

QString privateMoviesFolder(const QTemporaryDir& root) { return root.filePath(QStringLiteral("Videos")); }

bool isolateSettings(const QTemporaryDir& root) {
    if (!root.isValid()) return false;
    const QString config = root.filePath(QStringLiteral("config"));
    if (!QDir().mkpath(config)) return false;

    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (const auto scope : {QSettings::UserScope, QSettings::SystemScope}) QSettings::setPath(format, scope, config);

    // The platform's movies folder comes from the user-dirs file of the configuration folder.
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    if (!dirs.open(QIODevice::WriteOnly)) return false;
    const QByteArray line = "XDG_VIDEOS_DIR=\"" + QFile::encodeName(privateMoviesFolder(root)) + "\"\n";
    return dirs.write(line) == line.size();
}

}  // namespace testsupport
