// Puts the real window into one named state and writes a picture of it:
//
//     screenshot_driver STATE INPUTS_FOLDER OUTPUT.png
//     screenshot_driver --list
//
// Run under an X server (scripts/screenshots uses Xvfb), so the picture is what the server
// draws. The settings store is whatever XDG_CONFIG_HOME names; the script gives it a fresh one.
#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QStyleFactory>
#include <QUrl>

#include <cstdio>
#include <cstring>

#include "media/ffmpeg_log.h"
#include "jobs/settings.h"
#include "tools/screenshots/states.h"
#include "ui/window_pictures.h"

namespace {

// Nothing the window opens (its help page, a folder) starts a program here.
class IgnoredUrls : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl&) {}
};

int usage() {
    std::fprintf(stderr, "usage: screenshot_driver STATE INPUTS_FOLDER OUTPUT.png | --list\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    setFfmpegLogLevel(FfmpegLogLevel::Quiet);  // as the desktop program does
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (const auto& state : screenshots::states()) std::printf("%s\t%s\n", state.name, state.shows);
        return 0;
    }
    if (argc != 4) return usage();
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setWindowIcon(QIcon(QString::fromLatin1(pictures::kApplicationIcon)));
    IgnoredUrls ignored;
    for (const char* scheme : {"file", "http", "https"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &ignored, "open");
    // Past the first start, whose help page would otherwise open.
    clsSettings().setValue(settingsKeys::firstlaunch, QStringLiteral("true"));

    for (const auto& state : screenshots::states()) {
        if (std::strcmp(state.name, argv[1]) != 0) continue;
        const screenshots::Inputs inputs{QString::fromLocal8Bit(argv[2])};
        if (!state.take(inputs, QString::fromLocal8Bit(argv[3]))) {
            std::fprintf(stderr, "%s: the window did not reach the state\n", state.name);
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "no state named %s (see --list)\n", argv[1]);
    return 2;
}

#include "main.moc"
