#include "jobs/output_names.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "jobs/settings.h"
#include "mp4/regular_file.h"

namespace {

struct ExtensionRow {
    const char* format;  // upper-cased
    const char* extension;
};

const ExtensionRow kExtensions[] = {
    {"AVI", ".avi"},         {"WMV", ".wmv"},         {"MPEG1", ".mpg"},        {"MPEG2", ".mpg"},
    {"MP4", ".mp4"},         {"MP4 HD 720P", ".mp4"}, {"MP4 HD 1080P", ".mp4"}, {"MOV", ".mov"},
    {"FLV", ".flv"},         {"MP3", ".mp3"},         {"OGG VORBIS", ".ogg"},   {"OGG / THEORA", ".ogv"},
    {"WEBM", ".webm"},       {"AAC", ".aac"},         {"IPOD", ".mp4"},         {"IPOD TOUCH", ".mp4"},
    {"IPAD", ".mp4"},        {"IPHONE", ".mp4"},      {"PSP", ".mp4"},          {"PS3", ".mp4"},
    {"DVD PAL", ".vob"},     {"DVD NTSC", ".vob"},
};

bool exists(const QString& path) { return QFileInfo::exists(path); }

// The n-th name of a base: n = 0 is the name itself, then base(1), base(2), ...
QString numberedName(const QString& folder, const QString& base, qint64 n, const QString& extension) {
    if (n == 0) return joinFolder(folder, base + extension);
    return joinFolder(folder, base + "(" + QString::number(n) + ")" + extension);
}

}  // namespace

QString extensionForFormat(const QString& format) {
    const QString upper = format.toUpper();
    for (const ExtensionRow& row : kExtensions)
        if (upper == QLatin1String(row.format)) return row.extension;
    if (format == QLatin1String(kReEncodeFormat)) return ".mp4";
    return {};
}

QString conversionExtension(const QString& format, const QString& input) {
    if (format != QLatin1String(kReEncodeFormat)) return extensionForFormat(format);
    const QString suffix = QFileInfo(input).completeSuffix();
    // A name without a suffix names no container to keep.
    if (suffix.isEmpty() || suffix.toUpper() == "MOV") return extensionForFormat(format);
    return "." + suffix;
}

QString withTrailingSlash(const QString& folder) { return folder.endsWith('/') ? folder : folder + "/"; }

QString joinFolder(const QString& folder, const QString& name) {
    QString head = folder;
    while (head.size() > 1 && head.endsWith('/')) head.chop(1);
    QString tail = name;
    while (tail.startsWith('/')) tail.remove(0, 1);
    if (head.isEmpty()) return tail;
    return head == "/" ? head + tail : head + "/" + tail;
}

QString uniqueOutputName(const QString& folder, const QString& base, const QString& extension) {
    for (qint64 n = 0;; ++n) {
        const QString candidate = numberedName(folder, base, n, extension);
        if (!exists(candidate)) return candidate;
    }
}

QString reserveOutputName(const QString& folder, const QString& base, const QString& extension) {
    for (qint64 n = 0;; ++n) {
        const QString candidate = numberedName(folder, base, n, extension);
        // O_EXCL: the file is made by this call or the call fails; it never opens one that is there.
        const int fd = ::open(QFile::encodeName(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST) return {};
    }
}

QString moveToFreeName(const QString& file, const QString& folder, const QString& base, const QString& extension) {
    const QString target = reserveOutputName(folder, base, extension);
    if (target.isEmpty()) return {};
    if (std::rename(QFile::encodeName(file).constData(), QFile::encodeName(target).constData()) == 0) return target;
    QFile::remove(target);
    return {};
}

QString baseUpToLastDot(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const int dot = name.lastIndexOf('.');
    return dot < 0 ? name : name.left(dot);
}

QString baseUpToFirstDot(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const int dot = name.indexOf('.');
    return dot < 0 ? name : name.left(dot);
}

bool isRegularFile(const QString& path) { return mp4::isRegularFile(QFile::encodeName(path).toStdString()); }

qint64 fileSizeOrMissing(const QString& path) {
    const QFileInfo info(path);
    return info.exists() ? info.size() : -1;
}

void removeIfExists(const QString& path) {
    if (!path.isEmpty() && QFileInfo::exists(path)) QFile::remove(path);
}
