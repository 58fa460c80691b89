// The rows as the jobs' signals paint them: texts, icons, colours and the progress cell, with
// the signals sent from another thread as a running job sends them.
#include <QBrush>
#include <QCoreApplication>
#include <QStandardItemModel>
#include <QTest>


#include "jobs/unit_file.h"
#include "tests/support/qtest_main.h"
#include "tests/ui/window_harness.h"
#include "ui/job_end.h"
#include "ui/main_window.h"
#include "ui/row_look.h"
#include "ui/window_pictures.h"

using namespace windowtest;

namespace {


}  // namespace

// Every test starts from a window listing two clips, a.mp4 and b.mp4.
class JobStatusTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempDir> dir;
    std::unique_ptr<MainWindow> window;


private slots:
    void init() {
        freshSettings();
        dir = std::make_unique<testsupport::TempDir>();
        window = std::make_unique<MainWindow>();
        QVERIFY(dropAndWait(*window, clipCopies(*dir, {"a.mp4", "b.mp4"})));
    }
    void cleanup() {
        window.reset();
        dir.reset();
    }

    void phaseStartsShowTheirTextAndIcon() {
        MainWindow& w = *window;
        unitFile* job = w.jobAt(0);
        const QString uid = uidOf(w, 0);
        fromJobThread([&] { emit job->startDownload(uid); });
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("Prepare Repair..."));
        QVERIFY(rowIconIs(w, 0, pictures::kRepairStarting));
        fromJobThread([&] { emit job->startConvert(uid); });
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("Prepare conversion..."));
        QVERIFY(rowIconIs(w, 0, pictures::kConvertStarting));
        // The other row is left alone.
        QCOMPARE(cell(w, 1, ColumnStatus), QStringLiteral("waiting"));
        QVERIFY(rowIconIs(w, 1, pictures::kLogo));
    }

    void repairReportsShowTheLastTextWithThePercentage() {
        MainWindow& w = *window;
        unitFile* job = w.jobAt(1);
        const QString uid = uidOf(w, 1);
        fromJobThread([&] {
            emit job->repairStatusText(uid, QStringLiteral("Scan..."));
            emit job->repairStatus(uid, 42);
        });
        QCOMPARE(cell(w, 1, ColumnStatus), QStringLiteral("Scan... 42%"));
        QCOMPARE(cell(w, 1, ColumnProgress), QStringLiteral("42"));
        QCOMPARE(cellColour(w, 1, ColumnStatus), QColor(Qt::darkBlue));
        QCOMPARE(cellColour(w, 1, ColumnFileName), QColor(Qt::darkBlue));
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("waiting"));
    }

    // A report for a row that was removed changes nothing but the last status text.
    void aReportForNoListedRowOnlyKeepsItsText() {
        MainWindow& w = *window;
        unitFile* job = w.jobAt(0);
        const QString uid = uidOf(w, 0);
        fromJobThread([&] {
            emit job->repairStatusText(QStringLiteral("{00000000-0000-0000-0000-000000000000}"), QStringLiteral("Video Repair"));
            emit job->startDownload(QStringLiteral("{00000000-0000-0000-0000-000000000000}"));
        });
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("waiting"));
        QCOMPARE(cell(w, 1, ColumnStatus), QStringLiteral("waiting"));
        fromJobThread([&] { emit job->repairStatus(uid, 10); });
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("Video Repair 10%"));
    }

    void conversionProgress_data() {
        QTest::addColumn<int>("fps");
        QTest::addColumn<int>("time");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("progress");
        QTest::addColumn<QString>("status");
        QTest::newRow("a third") << 7 << 65 << 180 << "36" << "00:01:05 / 00:03:00 (07fps)";
        QTest::newRow("no total yet") << 25 << 10 << 0 << "0" << "00:00:10 / 00:00:00 (25fps)";
        QTest::newRow("done") << 120 << 180 << 180 << "100" << "00:03:00 / 00:03:00 (120fps)";
    }
    void conversionProgress() {
        QFETCH(int, fps);
        QFETCH(int, time);
        QFETCH(int, total);
        MainWindow& w = *window;
        unitFile* job = w.jobAt(0);
        const QString uid = uidOf(w, 0);
        fromJobThread([&] { emit job->progressConvert(uid, fps, 999, time, total); });
        QTEST(cell(w, 0, ColumnProgress), "progress");
        QTEST(cell(w, 0, ColumnStatus), "status");
        QCOMPARE(cellColour(w, 0, ColumnStatus), QColor(Qt::darkBlue));
    }

    // How a finished job shows, as its run leaves it: status, repair flag, repaired file kept.
    void endOfAJob_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("repair");
        QTest::addColumn<bool>("repairedKept");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("succeeded");
        QTest::newRow("conversion done") << 0 << false << false << "Success" << true;
        QTest::newRow("repair done") << 0 << true << true << "Success" << true;
        QTest::newRow("repair cancelled") << 42 << true << false << "ABORTED" << false;
        QTest::newRow("conversion cancelled") << 42 << false << false << "ABORTED" << false;
        QTest::newRow("nothing recovered") << 102 << true << false << "can't repair with this reference" << false;
        QTest::newRow("repaired, conversion failed") << 102 << true << true << "Conversion error, repaired file kept"
                                                     << false;
        QTest::newRow("conversion failed") << 102 << false << false << "Conversion error" << false;
        QTest::newRow("numbered code") << 7 << false << false << "COULDNT CONNECT" << false;
        QTest::newRow("unknown code") << 8 << false << false << "UNKNOWN STATUS" << false;
    }
    void endOfAJob() {
        QFETCH(int, status);
        QFETCH(bool, repair);
        QFETCH(bool, repairedKept);
        QFETCH(bool, succeeded);
        MainWindow& w = *window;
        unitFile* job = w.jobAt(0);
        const QString uid = uidOf(w, 0);
        job->isRepair = repair;
        job->isRepaired = repairedKept;
        job->outputPath.set(repairedKept ? dir->file("a_fix.mp4") : std::string());
        fromJobThread([&] {
            emit job->repairStatus(uid, 57);
            job->isDone = true;
            emit job->endConvert(uid, status);
        });
        QTEST(cell(w, 0, ColumnStatus), "text");
        QCOMPARE(cellColour(w, 0, ColumnStatus), QColor(succeeded ? Qt::darkGreen : Qt::darkRed));
        QCOMPARE(cellColour(w, 0, ColumnFileName), QColor(succeeded ? Qt::darkGreen : Qt::darkRed));
        QVERIFY(rowIconIs(w, 0, succeeded ? pictures::kSucceeded : pictures::kFailed));
        QCOMPARE(cell(w, 0, ColumnProgress), succeeded ? QStringLiteral("57") : QStringLiteral("0"));
    }

    // A repair job's end as its outcome tells it: each failure with its cause, red; a repair
    // that lost its sound kept in dark yellow, not green; the texts of the status codes where
    // the job names no cause.
    void endOfARepairShowsItsOutcome_data() {
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("repairedKept");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("look");
        using O = RepairOutcome;
        auto row = [](const char* name, O outcome, int status, bool kept, const char* text, RowLook look) {
            QTest::newRow(name) << int(outcome) << status << kept << QString::fromLatin1(text) << int(look);
        };
        row("whole", O::Repaired, 0, true, "Success", RowLook::Succeeded);
        row("without sound", O::RepairedWithoutSound, 0, true, "Picture repaired without its sound",
            RowLook::Incomplete);
        row("without sound, conversion failed", O::RepairedWithoutSound, 102, true,
            "Conversion error, repaired file kept", RowLook::Failed);
        row("cancelled", O::Cancelled, 42, false, "ABORTED", RowLook::Failed);
        row("reference missing", O::ReferenceMissing, 102, false, "The reference is missing or not a regular file",
            RowLook::Failed);
        row("reference unreadable", O::ReferenceUnreadable, 102, false, "The reference could not be read",
            RowLook::Failed);
        row("reference without video", O::ReferenceWithoutVideo, 102, false, "The reference holds no video",
            RowLook::Failed);
        row("reference does not fit", O::ReferenceDoesNotFit, 102, false, "can't repair with this reference",
            RowLook::Failed);
        row("damaged file gone", O::SourceMissing, 102, false, "The damaged file is gone", RowLook::Failed);
        row("damaged file a folder", O::SourceNotRegular, 102, false, "The damaged file is not a regular file",
            RowLook::Failed);
        row("damaged file empty", O::SourceEmpty, 102, false, "The damaged file is empty", RowLook::Failed);
        row("damaged file unreadable", O::SourceUnreadable, 102, false, "The damaged file cannot be read",
            RowLook::Failed);
        row("no video", O::NoVideoFound, 102, false, "No video found in the damaged file", RowLook::Failed);
        row("folder not writable", O::OutputNotWritable, 102, false, "The output folder cannot be written",
            RowLook::Failed);
        row("disk full", O::DiskFull, 102, false, "The disk is full", RowLook::Failed);
        row("no frame rate", O::NoFrameRate, 102, false, "The reference gives no frame rate", RowLook::Failed);
        row("engine failure", O::EngineFailed, 102, false, "The repair stopped on an internal error",
            RowLook::Failed);
        row("mux failure", O::MuxFailed, 102, false, "The repaired file could not be made", RowLook::Failed);
        row("no cause named", O::NotRun, 102, false, "can't repair with this reference", RowLook::Failed);
    }
    void endOfARepairShowsItsOutcome() {
        QFETCH(int, outcome);
        QFETCH(int, status);
        QFETCH(bool, repairedKept);
        QFETCH(int, look);
        MainWindow& w = *window;
        unitFile* job = w.jobAt(0);
        const QString uid = uidOf(w, 0);
        job->isRepair = true;
        job->isRepaired = repairedKept;
        job->outputPath.set(repairedKept ? dir->file("a_fix.mp4") : std::string());
        job->repairOutcome = RepairOutcome(outcome);
        fromJobThread([&] {
            emit job->repairStatus(uid, 57);
            job->isDone = true;
            emit job->endConvert(uid, status);
        });
        QTEST(cell(w, 0, ColumnStatus), "text");
        const QColor colour = look == int(RowLook::Succeeded)    ? QColor(Qt::darkGreen)
                              : look == int(RowLook::Incomplete) ? QColor(Qt::darkYellow)
                                                                 : QColor(Qt::darkRed);
        QCOMPARE(cellColour(w, 0, ColumnStatus), colour);
        QCOMPARE(cellColour(w, 0, ColumnFileName), colour);
        QVERIFY(rowIconIs(w, 0, rowLookIcon(RowLook(look))));
        // A kept result keeps its progress; a failure's goes back to 0.
        QCOMPARE(cell(w, 0, ColumnProgress), status == 0 ? QStringLiteral("57") : QStringLiteral("0"));
    }

    // A conversion job has no repair outcome to tell: its end is its status code's.
    void aConversionJobIgnoresTheRepairOutcome() {
        MainWindow& w = *window;
        unitFile* job = w.jobAt(0);
        const QString uid = uidOf(w, 0);
        job->isRepair = false;
        job->repairOutcome = RepairOutcome::RepairedWithoutSound;
        fromJobThread([&] {
            job->isDone = true;
            emit job->endConvert(uid, 0);
        });
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("Success"));
        QCOMPARE(cellColour(w, 0, ColumnStatus), QColor(Qt::darkGreen));
    }

    // An end that arrives after the job was reset for a new run belongs to the old run.
    void anEndAfterTheJobWasResetIsDropped() {
        MainWindow& w = *window;
        unitFile* job = w.jobAt(0);
        const QString uid = uidOf(w, 0);
        fromJobThread([&] { emit job->endConvert(uid, 42); });
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("waiting"));
        QVERIFY(rowIconIs(w, 0, pictures::kLogo));
    }

    void everyStatusCodeHasItsText_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        const std::pair<int, const char*> table[] = {
            {0, "SUCCESS"},
            {1, "UNSUPPORTED PROTOCOL"},
            {2, "INIT FAILED"},
            {3, "URL MALFORMAT"},
            {4, "UNSUPPORTED"},
            {5, "COULDNT RESOLVE PROXY"},
            {6, "COULDNT RESOLVE HOST"},
            {7, "COULDNT CONNECT"},
            {9, "REMOTE ACCESS DENIED"},
            {18, "PARTIAL FILE ERROR"},
            {21, "QUOTE ERROR"},
            {22, "HTTP RETURNED ERROR"},
            {23, "WRITE ERROR"},
            {26, "READ ERROR"},
            {27, "OUT OF MEMORY"},
            {28, "OPERATION TIMEDOUT"},
            {33, "RANGE ERROR"},
            {34, "HTTP POST ERROR"},
            {36, "BAD DOWNLOAD RESUME"},
            {37, "FILE COULDNT READ FILE"},
            {42, "ABORTED"},
            {47, "TOO MANY REDIRECTS"},
            {48, "UNKNOWN OPTION"},
            {52, "GOT NOTHING"},
            {56, "RECV ERROR"},
            {61, "BAD CONTENT ENCODING"},
            {63, "FILESIZE EXCEEDED"},
            {78, "REMOTE FILE NOT FOUND"},
            {101, "EMPTY FILE"},
            {102, "Conversion error"},
            {8, "UNKNOWN STATUS"},
            {-1, "UNKNOWN STATUS"},
            {79, "UNKNOWN STATUS"},
            {103, "UNKNOWN STATUS"},
        };
        for (const auto& [code, text] : table)
            QTest::newRow(qPrintable(QString::number(code))) << code << QString::fromLatin1(text);
    }
    void everyStatusCodeHasItsText() {
        QFETCH(int, code);
        QTEST(MainWindow::statusCodeText(code), "text");
    }
};

VANTOREL_QTEST_MAIN(JobStatusTest)
#include "job_status_test.moc"
