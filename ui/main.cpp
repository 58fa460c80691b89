// Vantorel: the desktop program. It takes no command-line options.
#include <QApplication>
#include <QDebug>
#include <QIcon>
#include <QStyle>
#include <QStyleFactory>

#include "jobs/video_details.h"
#include "media/ffmpeg_log.h"
#include "mp4/diagnostic_log.h"
#include "ui/main_window.h"
#include "ui/window_pictures.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The previews and the diagnosis decode damaged pictures by design; the decoders' complaints
    // about them say nothing to the user.
    setFfmpegLogLevel(FfmpegLogLevel::Quiet);
    setDiagnosticHook([](DiagnosticLevel level, const std::string& line) {
        if (level == DiagnosticLevel::Warning) qWarning().noquote() << QString::fromStdString(line);
        else qDebug().noquote() << QString::fromStdString(line);
    });
    // The probes hand their findings over from their own threads.
    qRegisterMetaType<videoDetails>("videoDetails");
    qDebug() << "styles:" << QStyleFactory::keys();
    // The platform style the window was laid out for exists only on one system; everywhere
    // else Fusion draws it the same on every desktop.
    QStyle* style = QStyleFactory::create(QStringLiteral("windowsvista"));
    if (!style) style = QStyleFactory::create(QStringLiteral("Fusion"));
    if (style) QApplication::setStyle(style);
    QApplication::setWindowIcon(QIcon(QString::fromLatin1(pictures::kApplicationIcon)));

    int code = 0;
    {
        // Gone before the application object: its destructor still waits for the threads.
        MainWindow window;
        window.show();
        code = app.exec();
    }
    return code;
}
