// A repair from the window with the real programs (Ordwick, Brannoc and the ffmpeg tool), as a
// person makes it: drop a recording that was cut off, Repair, answer the reference dialog with
// a healthy reference, and wait for the row; and closing the window in the middle of it.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <sstream>

#include "jobs/child_programs.h"
#include "jobs/previewer.h"
#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "tests/support/qtest_main.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_frames.h"
#include "tests/support/test_process.h"
#include "tests/ui/window_harness.h"
#include "ui/main_window.h"
#include "ui/reference_dialog.h"
#include "ui/row_look.h"
#include "ui/window_pictures.h"

using namespace windowtest;
using testsupport::AudioCodec;
using testsupport::ClipSettings;
using testsupport::VideoCodec;

namespace {

constexpr double kCut = 0.7;

std::string decodeErrors(const std::string& path) {
    const auto r = testsupport::runProcess(
        {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i", path, "-f", "null", "-"});
    return r.exitCode == 0 ? r.err : "exit " + std::to_string(r.exitCode) + ": " + r.err;
}

// The video frames of `path` whose bytes lie wholly within its first `bytes` bytes.
int framesWithin(const std::string& path, long long bytes) {
    const auto r = testsupport::runProcess({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                            "packet=pos,size", "-of", "csv=p=0", path});
    std::istringstream lines(r.out);
    std::string line;
    int frames = 0;
    while (std::getline(lines, line)) {
        long long size = 0, pos = 0;
        char comma = 0;
        std::istringstream fields(line);
        if (fields >> size >> comma >> pos && pos + size <= bytes) ++frames;
    }
    return frames;
}

double psnrAgainst(const std::string& path, const std::string& original) {
    const auto r = testsupport::runProcess({"ffmpeg", "-nostdin", "-hide_banner", "-i", path, "-i", original, "-lavfi",
                                            "[0:v][1:v]psnr=shortest=1", "-f", "null", "-"});
    const std::size_t at = r.err.rfind("average:");
    return at == std::string::npos ? 0 : std::stod(r.err.substr(at + 8));
}

// A recording cut off at 70 % of its bytes in a folder of its own, a healthy reference of the
// same settings, an empty output folder, and the project's own helper programs.
struct Recording {
    explicit Recording(double seconds) {
        freshSettings();
        ClipSettings settings = testsupport::clipSettings(VideoCodec::H264, AudioCodec::Aac);
        settings.seconds = seconds;
        original = testsupport::clip(settings);
        ClipSettings longer = settings;
        longer.seconds = seconds + 1;
        reference = testsupport::clip(longer);
        const std::string cut = testsupport::cutClip(settings, kCut);
        source = dir.file("card");
        output = dir.file("output");
        QDir().mkpath(QString::fromStdString(source));
        QDir().mkpath(QString::fromStdString(output));
        damaged = source + "/CLIP0042.MP4";
        damagedBytes = testsupport::readFile(cut);
        testsupport::writeFile(damaged, damagedBytes);
        store(settingsKeys::SavePath, QString::fromStdString(output) + "/");
        store(settingsKeys::referenceFile, QString::fromStdString(reference));
        setChildProgramOverride(ChildProgram::ReferenceAnalysis, QString::fromStdString(testsupport::programPath("Ordwick")));
        setChildProgramOverride(ChildProgram::AudioRepair, QString::fromStdString(testsupport::programPath("Brannoc")));
    }
    ~Recording() {
        setChildProgramOverride(ChildProgram::ReferenceAnalysis, QString());
        setChildProgramOverride(ChildProgram::AudioRepair, QString());
    }
    bool ready() const { return !original.empty() && !reference.empty(); }
    QStringList outputEntries() const {
        return QDir(QString::fromStdString(output)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    bool damagedUnchanged() const {
        return testsupport::readFile(damaged) == damagedBytes &&
               QDir(QString::fromStdString(source)).entryList(QDir::Files | QDir::Hidden) == QStringList({"CLIP0042.MP4"});
    }

    testsupport::TempDir dir;
    std::string original, reference, source, output, damaged, damagedBytes;
};

// Presses "Repair Now!" once the reference dialog has probed the stored reference.
class ReferenceAnswer {
public:
    ReferenceAnswer() {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<referenceDialog*>(QApplication::activeModalWidget());
            if (!dialog || dialog->isProbing()) return;
            auto* save = dialog->findChild<QPushButton*>(QStringLiteral("save"));
            if (!save || !save->isEnabled()) return;
            poll_.stop();
            answered = true;
            save->click();
        });
        poll_.start(50);
    }
    bool answered = false;

private:
    QTimer poll_;
};

bool idle(MainWindow& w) { return w.findChild<QAction*>(QStringLiteral("actionRepair"))->isEnabled(); }

}  // namespace

class RepairEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void aCutRecordingComesBackFromTheWindow() {
        Recording r(2);
        QVERIFY(r.ready());
        MainWindow w;
        QVERIFY(dropAndWait(w, {QString::fromStdString(r.damaged)}));
        ReferenceAnswer answer;
        w.findChild<QAction*>(QStringLiteral("actionRepair"))->trigger();
        QVERIFY(answer.answered);
        QVERIFY(waitFor([&] { return w.jobAt(0)->isDone && idle(w); }, 180000));

        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("Success"));
        QCOMPARE(cellColour(w, 0, ColumnStatus), QColor(Qt::darkGreen));
        QVERIFY(rowIconIs(w, 0, pictures::kSucceeded));
        QCOMPARE(r.outputEntries(), QStringList({"CLIP0042_fix_conv.mp4"}));
        QVERIFY(r.damagedUnchanged());

        const std::string result = r.output + "/CLIP0042_fix_conv.mp4";
        // The row the repair ran on stays shown, now with a picture of the repaired file.
        QCOMPARE(w.shownRow(), 0);
        QCOMPARE(QFileInfo(w.previewDecoder().filePath()).canonicalFilePath(),
                 QFileInfo(QString::fromStdString(result)).canonicalFilePath());
        QVERIFY(waitFor([&] { return !w.previewDecoder().isRunning(); }));
        QCoreApplication::processEvents();
        const QImage preview = w.findChild<QLabel*>(QStringLiteral("labelPreview"))->pixmap(Qt::ReturnByValue).toImage();
        QCOMPARE(preview.size(), QSize(180, 122));  // a decoded picture, not the 160 x 100 placeholder
        QCOMPARE(QString::fromStdString(decodeErrors(result)), QString());
        const int recorded = framesWithin(r.original, static_cast<long long>(r.damagedBytes.size()));
        const int original = static_cast<int>(testsupport::decodedFrames(r.original).hashes.size());
        const int got = static_cast<int>(testsupport::decodedFrames(result).hashes.size());
        QVERIFY2(got >= recorded && got <= original,
                 qPrintable(QStringLiteral("%1 frames back, %2 recorded before the cut, %3 in all")
                                .arg(got)
                                .arg(recorded)
                                .arg(original)));
        // Re-encoded, so alike rather than equal: the recorded pictures from the first one on.
        QVERIFY(psnrAgainst(result, r.original) > 32.0);
    }

    // Repair pressed again re-runs the row that is green: its new result takes a name of its
    // own beside the first, and a run with the reference of another camera ends red with its
    // cause, leaving both results as they were.
    void repairPressedAgainRunsTheRowAfreshAndKeepsEveryResult() {
        Recording r(2);
        QVERIFY(r.ready());
        ClipSettings otherCamera = testsupport::clipSettings(VideoCodec::H264, AudioCodec::Aac,
                                                             testsupport::Container::Mp4, {"-profile:v", "high"});
        otherCamera.width = 640;
        otherCamera.height = 480;
        const std::string otherReference = testsupport::clip(otherCamera);
        QVERIFY(!otherReference.empty());
        MainWindow w;
        QVERIFY(dropAndWait(w, {QString::fromStdString(r.damaged)}));
        auto repairWith = [&](const std::string& reference) {
            store(settingsKeys::referenceFile, QString::fromStdString(reference));
            ReferenceAnswer answer;
            w.findChild<QAction*>(QStringLiteral("actionRepair"))->trigger();
            return answer.answered && waitFor([&] { return w.jobAt(0)->isDone && idle(w); }, 180000);
        };

        QVERIFY(repairWith(r.reference));
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("Success"));
        const std::string first = testsupport::readFile(r.output + "/CLIP0042_fix_conv.mp4");
        QVERIFY(!first.empty());

        QVERIFY(repairWith(r.reference));
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("Success"));
        QCOMPARE(r.outputEntries(), QStringList({"CLIP0042_fix_conv(1).mp4", "CLIP0042_fix_conv.mp4"}));

        QVERIFY(repairWith(otherReference));
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("can't repair with this reference"));
        QCOMPARE(cellColour(w, 0, ColumnStatus), QColor(Qt::darkRed));
        QCOMPARE(cellColour(w, 0, ColumnFileName), QColor(Qt::darkRed));
        QVERIFY(rowIconIs(w, 0, pictures::kFailed));
        QCOMPARE(r.outputEntries(), QStringList({"CLIP0042_fix_conv(1).mp4", "CLIP0042_fix_conv.mp4"}));
        QVERIFY(testsupport::readFile(r.output + "/CLIP0042_fix_conv.mp4") == first);
        QVERIFY(r.damagedUnchanged());
    }

    // Closing the window cancels the repair and waits for it: no thread outlives the window and
    // the output folder is left as it was.
    void closingTheWindowDuringARepairLeavesNothingBehind() {
        Recording r(6);
        QVERIFY(r.ready());
        auto w = std::make_unique<MainWindow>();
        QVERIFY(dropAndWait(*w, {QString::fromStdString(r.damaged)}));
        unitFile* job = w->jobAt(0);
        std::atomic<bool> threadEnded{false};
        std::atomic<int> endStatus{-1};
        QObject::connect(job, &QThread::finished, job, [&] { threadEnded = true; }, Qt::DirectConnection);
        QObject::connect(job, &unitFile::endConvert, job, [&](QString, int status) { endStatus = status; },
                         Qt::DirectConnection);
        ReferenceAnswer answer;
        w->findChild<QAction*>(QStringLiteral("actionRepair"))->trigger();
        QVERIFY(answer.answered);
        QVERIFY(waitFor([&] { return job->isRunning.load(); }));
        QVERIFY(!job->isDone);

        w.reset();
        QVERIFY(threadEnded);
        QCOMPARE(endStatus.load(), int(unitFile::kStatusCancelled));
        QCOMPARE(r.outputEntries(), QStringList());
        QVERIFY(r.damagedUnchanged());
    }
};

VANTOREL_QTEST_MAIN(RepairEndToEndTest)
#include "repair_end_to_end_test.moc"
