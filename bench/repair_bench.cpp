// One repair run over a damaged file, timed:
//   repair_bench [--preview] DAMAGED REFERENCE_XML OUTPUT_FOLDER [CHUNK_BYTES]
// --preview runs it as the window's shown row with Preview on: the engine makes live pictures.
// The engine deletes the reference description it reads, so it is given a copy and the file
// named on the command line is kept for the next run.
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

#include "jobs/output_names.h"
#include "media/ffmpeg_log.h"
#include "repair/video_repair.h"

namespace {

double peakRssMb() {
    struct rusage usage {};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return -1;
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char* argv[]) {
    setFfmpegLogLevel(FfmpegLogLevel::Quiet);  // as the desktop program does
    const bool preview = argc > 1 && std::strcmp(argv[1], "--preview") == 0;
    if (preview) {
        --argc;
        ++argv;
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: repair_bench [--preview] DAMAGED REFERENCE_XML OUTPUT_FOLDER [CHUNK_BYTES]\n");
        return 2;
    }
    // The pictures' text is painted with the application's fonts.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString damaged = QString::fromLocal8Bit(argv[1]);
    const QString reference = QString::fromLocal8Bit(argv[2]);
    const QString folder = withTrailingSlash(QString::fromLocal8Bit(argv[3]));
    const QString copy = folder + "repair-bench-reference.xml";
    QFile::remove(copy);
    if (!QFile::copy(reference, copy)) {
        std::fprintf(stderr, "cannot copy %s to %s\n", argv[2], copy.toLocal8Bit().constData());
        return 2;
    }

    videoRepair engine;
    if (argc > 4) engine.setChunkBytes(std::strtoll(argv[4], nullptr, 10));
    engine.setPreviewEnabled(preview);
    engine.setPreviewSelected(preview);
    // Pictures may come from any thread; no event loop runs here, so they are counted directly.
    std::atomic<int> pictures{0};
    QObject::connect(&engine, &videoRepair::previewPicture, [&pictures] { ++pictures; });
    const auto start = std::chrono::steady_clock::now();
    const int result = engine.startFixer(damaged, copy, folder);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    QFile::remove(copy);

    const double seconds = elapsed.count();
    const double megabytes = static_cast<double>(QFileInfo(damaged).size()) / 1e6;
    std::printf("return: %d\n", result);
    std::printf("seconds: %.3f\n", seconds);
    std::printf("mb_per_s: %.1f\n", seconds > 0 ? megabytes / seconds : 0.0);
    std::printf("video_bytes: %lld\n", static_cast<long long>(QFileInfo(engine.videoOutputPath).size()));
    std::printf("audio_bytes: %lld\n", static_cast<long long>(QFileInfo(engine.audioOutputPath).size()));
    std::printf("peak_rss_mb: %.1f\n", peakRssMb());
    if (preview) std::printf("preview_pictures: %d\n", pictures.load());
    return 0;
}
