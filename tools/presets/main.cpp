// preset_maker: adds one built-in diagnostic preset made from healthy recordings.
//
//   preset_maker NAME PRESET_DOCUMENT SPS_LIST_DOCUMENT RECORDING...
//
// The recordings (MP4/MOV, all H.264 or all H.265, same encoder settings) are merged into one
// preset: the widest size range and every header word of each NAL unit type, and each distinct
// parameter-set pair. The preset replaces the one of the same name in PRESET_DOCUMENT (or is
// appended), and the parameter-set pairs join SPS_LIST_DOCUMENT unless listed already. Both
// documents are plain XML; the build enciphers them.
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

#include "tools/presets/preset_document.h"

namespace {

QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    return QString::fromUtf8(file.readAll());
}

bool writeText(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    file.write(text.toUtf8());
    return file.commit();
}

int fail(const QString& message) {
    std::fprintf(stderr, "preset_maker: %s\n", message.toLocal8Bit().constData());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) return fail(QStringLiteral("usage: preset_maker NAME PRESET_DOCUMENT SPS_LIST_DOCUMENT RECORDING..."));
    const QString name = args[1];
    PresetSource source;
    for (int i = 4; i < args.size(); ++i) {
        QString error;
        if (!addRecording(QFile::encodeName(args[i]).toStdString(), source, error)) return fail(error);
    }
    if (!writeText(args[2], withPreset(readText(args[2]), name, source)))
        return fail(QStringLiteral("cannot write ") + args[2]);
    if (!writeText(args[3], withSpsEntries(readText(args[3]), source)))
        return fail(QStringLiteral("cannot write ") + args[3]);
    std::printf("%s: %d recordings, %d parameter-set pairs\n", name.toUtf8().constData(), source.clips,
                int(source.headers.size()));
    return 0;
}
