// job_bench DAMAGED REFERENCE_VIDEO OUTPUT_FOLDER [FORMAT]
// Runs one repair job as the window starts it, with a settings store of its own holding the
// output folder, the reference and the format ("Re-Encode (Keep same quality)" by default; a
// name outside the format box, such as "none", converts nothing), and prints one
// "name: value" line per figure: the seconds of each phase and of the whole job, the status
// and the result.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QUuid>

#include <cstdio>
#include <map>
#include <mutex>

#include "media/ffmpeg_log.h"
#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "jobs/video_information.h"
#include "repair/video_repair.h"

namespace {

// The status texts that open each phase, in the order a repair job reports them.
enum Mark { AnalysisStart, ScanStart, CheckStart, AudioStart, MuxStart, ConversionStart, End, kMarkCount };

struct MarkText {
    Mark mark;
    const char* text;
};
const MarkText kMarkTexts[] = {
    {AnalysisStart, "Video reference analysis..."},
    {CheckStart, "Checking the pictures..."},
    {AudioStart, "Audio repair..."},
    {MuxStart, "Muxing Audio Video..."},
    {ConversionStart, "Prepare conversion..."},
};

struct Figure {
    const char* name;
    Mark from;
};
// A phase lasts from its mark to the next mark that was reached.
const Figure kFigures[] = {
    {"analysis_s", AnalysisStart}, {"scan_s", ScanStart},   {"check_s", CheckStart},
    {"audio_s", AudioStart},       {"mux_s", MuxStart},     {"conversion_s", ConversionStart},
};

class Clock {
public:
    Clock() { timer_.start(); }
    void mark(Mark m) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!seen_.count(m)) seen_[m] = timer_.nsecsElapsed() / 1e9;
    }
    double seconds(Mark from) const {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto start = seen_.find(from);
        if (start == seen_.end()) return 0;
        const auto next = seen_.upper_bound(from);
        return next == seen_.end() ? 0 : next->second - start->second;
    }

    // From one mark to another, both reached.
    double span(Mark from, Mark to) const {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto start = seen_.find(from), end = seen_.find(to);
        return start == seen_.end() || end == seen_.end() ? 0 : end->second - start->second;
    }

private:
    QElapsedTimer timer_;
    mutable std::mutex mutex_;
    std::map<Mark, double> seen_;
};

// Settings of this run only, so the user's own store is never read or changed.
bool useOwnSettings(const QTemporaryDir& folder) {
    if (!folder.isValid()) return false;
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (const auto scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(format, scope, folder.path());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    setFfmpegLogLevel(FfmpegLogLevel::Quiet);  // as the desktop program does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: job_bench DAMAGED REFERENCE_VIDEO OUTPUT_FOLDER [FORMAT]\n");
        return 2;
    }
    const QString damaged = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString reference = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    const QString output = QFileInfo(QString::fromLocal8Bit(argv[3])).absoluteFilePath() + "/";
    const QString format = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString(kReEncodeFormat);

    const QTemporaryDir settingsFolder;
    if (!useOwnSettings(settingsFolder) || !QDir().mkpath(output)) {
        std::fprintf(stderr, "cannot prepare the settings or the output folder\n");
        return 2;
    }
    {
        clsSettings settings;
        settings.setValue(settingsKeys::SavePath, output);
        settings.setValue(settingsKeys::GeneralFormatOutput, format);
        settings.setValue(settingsKeys::referenceFile, reference);
        settings.setValue(settingsKeys::saveInFileDirectory, "false");
    }

    // As the window does it: details from the probe, identity, the repair flag, then start.
    unitFile job;
    videoDetails details;
    videoInformation::readFileInfo(damaged, details);
    job.setVideoDetails(details);
    job.fileName = QFileInfo(damaged).fileName().toStdString();
    job.sourcePath = damaged.toStdString();
    job.uid = QUuid::createUuid().toString().toStdString();
    job.isRepair = true;

    Clock clock;
    // Direct connections: each mark is taken on the thread that reaches the phase.
    QObject::connect(&job, &unitFile::repairStatusText, &job, [&](QString, QString text) {
        for (const MarkText& m : kMarkTexts)
            if (text == QLatin1String(m.text)) clock.mark(m.mark);
    }, Qt::DirectConnection);
    QObject::connect(job.fixer.get(), &videoRepair::statusFix, &job, [&](QString text) {
        if (text == QLatin1String("Repair started")) clock.mark(ScanStart);
    }, Qt::DirectConnection);
    int status = -1;
    QObject::connect(&job, &unitFile::endConvert, &job, [&](QString, int s) {
        clock.mark(End);
        status = s;
    }, Qt::DirectConnection);
    QObject::connect(&job, &QThread::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    job.start();
    app.exec();
    job.wait();

    for (const Figure& figure : kFigures) std::printf("%s: %.3f\n", figure.name, clock.seconds(figure.from));
    std::printf("total_s: %.3f\n", clock.span(AnalysisStart, End));
    std::printf("status: %d\n", status);
    std::printf("output: %s\n", job.outputPath.get().c_str());
    return 0;
}
