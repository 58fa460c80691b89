// list_bench CLIP N
// Drops N copies of CLIP on the window at once, as a file manager would, and measures how the
// list fills: "rows" (rows listed), "seconds" (from the drop until every row is listed and the
// probe has ended) and "longest_stall_ms" (the longest gap between two turns of the GUI
// thread's event loop meanwhile: what the user feels as a frozen window). The window runs with
// a settings store and movies folder of its own.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>

#include "media/ffmpeg_log.h"
#include "jobs/settings.h"
#include "tests/support/private_settings.h"
#include "ui/main_window.h"

namespace {

constexpr qint64 kTimeoutMs = 120000;

// Measures the gaps between turns of the event loop with a timer that asks to fire every turn.
class StallMeter : public QObject {
public:
    StallMeter() {
        ticker_.setInterval(0);
        connect(&ticker_, &QTimer::timeout, this, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if (last_ >= 0) longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
    }
    void start() {
        clock_.start();
        last_ = -1;
        longest_ = 0;
        ticker_.start();
    }
    double longestMs() const { return longest_ / 1e6; }

private:
    QTimer ticker_;
    QElapsedTimer clock_;
    qint64 last_ = -1;
    qint64 longest_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    setFfmpegLogLevel(FfmpegLogLevel::Quiet);  // as the desktop program does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir settingsFolder;
    if (!testsupport::isolateSettings(settingsFolder)) {
        std::fprintf(stderr, "cannot prepare a settings store of its own\n");
        return 2;
    }
    QApplication app(argc, argv);
    const int count = argc == 3 ? QString::fromLocal8Bit(argv[2]).toInt() : 0;
    if (count <= 0) {
        std::fprintf(stderr, "usage: list_bench CLIP N\n");
        return 2;
    }
    const QString clip = QString::fromLocal8Bit(argv[1]);
    const QTemporaryDir clips;
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        const QString copy = clips.filePath(QStringLiteral("clip-%1.mp4").arg(i, 4, 10, QLatin1Char('0')));
        if (!QFile::copy(clip, copy)) {
            std::fprintf(stderr, "cannot copy %s\n", qPrintable(clip));
            return 2;
        }
        urls << QUrl::fromLocalFile(copy);
    }
    clsSettings().setValue(settingsKeys::firstlaunch, QStringLiteral("true"));

    MainWindow window;
    window.show();
    QApplication::processEvents();

    StallMeter stalls;
    QMimeData dropped;
    dropped.setUrls(urls);
    QElapsedTimer clock;
    stalls.start();
    clock.start();
    window.OleDragDrop(&dropped);
    while ((window.jobCount() < count || window.probingBusy()) && clock.elapsed() < kTimeoutMs)
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    const double seconds = clock.elapsed() / 1000.0;

    std::printf("rows: %d\n", window.jobCount());
    std::printf("seconds: %.2f\n", seconds);
    std::printf("longest_stall_ms: %.1f\n", stalls.longestMs());
    return window.jobCount() == count ? 0 : 1;
}
