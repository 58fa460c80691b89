// One whole diagnostic of FILE with the built-in documents, run in the diagnostic dialog as the
// user would see it: every log line as the dialog shows it, then its figures as name: value.
//
//   diagnose_bench FILE
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

#include "media/ffmpeg_log.h"
#include "analysis/diag_worker.h"
#include "ui/diagnostic_video.h"

namespace {

const char* const kVerdicts[] = {"We can recover this file", "Good chances we can recover your file",
                                 "Need more test to recover your file"};
const QLatin1String kDecodingStarted("Decoding attempts started... ");

double peakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;  // kilobytes on this platform
}

QString text(const diagnosticvideo& dialog, const char* label) {
    const auto* widget = dialog.findChild<QLabel*>(QString::fromLatin1(label));
    return widget ? widget->text() : QString();
}

}  // namespace

int main(int argc, char** argv) {
    setFfmpegLogLevel(FfmpegLogLevel::Quiet);  // as the desktop program does
    if (argc != 2) {
        std::fprintf(stderr, "usage: diagnose_bench FILE\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[1]);

    diagnosticvideo dialog;
    QElapsedTimer clock;
    // The time the log showed the start of the decoding attempts: what comes before it is the
    // type, header and matching stages, what follows it the decode test.
    double decodingFrom = -1.0;
    const QAbstractItemModel* log = dialog.findChild<QListView*>(QStringLiteral("listView"))->model();
    QObject::connect(log, &QAbstractItemModel::dataChanged, [&](const QModelIndex& from, const QModelIndex& to) {
        for (int row = from.row(); row <= to.row(); ++row)
            if (decodingFrom < 0 && log->index(row, 0).data().toString().endsWith(kDecodingStarted))
                decodingFrom = double(clock.nsecsElapsed()) / 1e9;
    });
    clock.start();
    dialog.startDiagnostic(path);
    const clsDiag* worker = dialog.worker();
    QObject::connect(worker, &QThread::finished, &app, &QApplication::quit, Qt::QueuedConnection);
    QTimer::singleShot(600000, &app, &QApplication::quit);
    app.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    QCoreApplication::processEvents();  // the signals queued before the thread ended

    QString verdict;
    for (int row = 0; row < log->rowCount(); ++row) {
        const QString line = log->index(row, 0).data().toString();
        std::printf("%s\n", line.toUtf8().constData());
        for (const char* v : kVerdicts)
            if (line.endsWith(QString::fromLatin1(v))) verdict = QString::fromLatin1(v);
    }

    const DiagPreset* best = nullptr;
    for (const DiagPreset& preset : worker->presets)
        if (!best || preset.score > best->score) best = &preset;
    std::printf("video_type: %s\n", worker->videoTypeNow().c_str());
    std::printf("codec: %s\n", text(dialog, "lblCodec").toUtf8().constData());
    std::printf("resolution: %s\n", text(dialog, "lblResolution").toUtf8().constData());
    std::printf("best_preset: %s\n", best ? best->presetName.c_str() : "");
    std::printf("best_score: %.3f\n", best ? double(best->score) : 0.0);
    std::printf("verdict: %s\n", verdict.toUtf8().constData());
    std::printf("seconds: %.3f\n", seconds);
    if (decodingFrom >= 0) {
        std::printf("seconds_before_decoding: %.3f\n", decodingFrom);
        std::printf("seconds_decoding: %.3f\n", seconds - decodingFrom);
    }
    std::printf("peak_rss_mb: %.1f\n", peakRssMb());
    return 0;
}
