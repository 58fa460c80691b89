// The scheduler with a stand-in ffmpeg whose conversions the test ends: order, one job at a
// time, cancelling and removing rows while a job runs.
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QStandardItemModel>
#include <QTest>

#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "tests/support/modal_boxes.h"
#include "tests/support/qtest_main.h"
#include "tests/ui/window_harness.h"
#include "ui/file_list_view.h"
#include "ui/main_window.h"
#include "ui/row_look.h"

using namespace windowtest;

namespace {

QAction* action(MainWindow& w, const char* name) { return w.findChild<QAction*>(QString::fromLatin1(name)); }

bool idle(MainWindow& w) {
    return action(w, "actionSettings")->isEnabled() && action(w, "actionRepair")->isEnabled() &&
           !action(w, "actionCancel")->isEnabled();
}

// A window over three listed copies of a clip, a stand-in ffmpeg, and an output folder.
struct Scene {
    explicit Scene(const QStringList& names = {"a.mp4", "b.mp4", "c.mp4"}) : ffmpeg(dir) {
        freshSettings();
        output = QString::fromStdString(dir.file("output/"));
        QDir().mkpath(output);
        store(settingsKeys::SavePath, output);
        sources = clipCopies(dir, names);
        window = std::make_unique<MainWindow>();
        listed = sources.size() == names.size() && dropAndWait(*window, sources);
    }

    // Waits for `done` while watching that no two jobs ever run at once.
    bool waitWatching(const std::function<bool()>& done, int timeoutMs = 20000) {
        return waitFor(
            [&] {
                mostRunning = std::max(mostRunning, runningThreads(*window));
                return done();
            },
            timeoutMs);
    }
    // Convert, and the first conversion under way.
    bool convertFirst() {
        window->findChild<QAction*>(QStringLiteral("actionSettings"))->trigger();
        return waitForLog("start a.mp4");
    }
    bool waitForLog(const QString& line, int times = 1) {
        return waitWatching([&] { return ffmpeg.count(line) >= times; });
    }
    QStringList outputFiles() const { return QDir(output).entryList(QDir::Files | QDir::Hidden); }

    testsupport::TempDir dir;
    FakeFfmpeg ffmpeg;
    QString output;
    QStringList sources;
    std::unique_ptr<MainWindow> window;
    bool listed = false;
    int mostRunning = 0;
};

}  // namespace

class SchedulerTest : public QObject {
    Q_OBJECT

private slots:
    void convertRunsTheJobsInRowOrderOneAtATime() {
        Scene s;
        QVERIFY(s.listed);
        MainWindow& w = *s.window;
        action(w, "actionSettings")->trigger();
        QVERIFY(!action(w, "actionSettings")->isEnabled());
        QVERIFY(action(w, "actionCancel")->isEnabled());
        for (const char* name : {"a.mp4", "b.mp4", "c.mp4"}) {
            QVERIFY(s.waitForLog(QStringLiteral("start ") + name));
            s.ffmpeg.release(QString::fromLatin1(name));
            QVERIFY(s.waitForLog(QStringLiteral("end ") + name));
        }
        QVERIFY(s.waitWatching([&] { return idle(w); }));
        QCOMPARE(s.ffmpeg.log(), QStringList({"start a.mp4", "end a.mp4", "start b.mp4", "end b.mp4", "start c.mp4",
                                              "end c.mp4"}));
        QCOMPARE(s.mostRunning, 1);
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(cell(w, row, ColumnStatus), QStringLiteral("Success"));
            QCOMPARE(cellColour(w, row, ColumnStatus), QColor(Qt::darkGreen));
        }
    }

    void convertOnAnEmptyListChangesNothing() {
        freshSettings();
        MainWindow w;
        action(w, "actionSettings")->trigger();
        QVERIFY(idle(w));
        QTest::qWait(700);
        QVERIFY(idle(w));
    }

    void cancelAllStopsTheRunningJobAndStartsNoOther() {
        Scene s;
        QVERIFY(s.listed && s.convertFirst());
        MainWindow& w = *s.window;
        action(w, "actionCancel")->trigger();
        QVERIFY(idle(w));
        QVERIFY(s.waitWatching([&] { return cell(w, 0, ColumnStatus) == QLatin1String("ABORTED"); }));
        QTest::qWait(1200);  // more than two ticks of the scheduler
        QCOMPARE(s.ffmpeg.log(), QStringList({"start a.mp4"}));
        QCOMPARE(cell(w, 1, ColumnStatus), QStringLiteral("waiting"));
        QCOMPARE(cell(w, 2, ColumnStatus), QStringLiteral("waiting"));
        QVERIFY(s.outputFiles().isEmpty());
    }

    void cancelSelectedOnAWaitingJobEndsItWhenItsTurnComes() {
        Scene s;
        QVERIFY(s.listed && s.convertFirst());
        MainWindow& w = *s.window;
        selectRow(w, 2);
        action(w, "actionCancel_Selected")->trigger();
        s.ffmpeg.release("a.mp4");
        QVERIFY(s.waitForLog("start b.mp4"));
        s.ffmpeg.release("b.mp4");
        QVERIFY(s.waitWatching([&] { return idle(w); }));
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("Success"));
        QCOMPARE(cell(w, 1, ColumnStatus), QStringLiteral("Success"));
        QCOMPARE(cell(w, 2, ColumnStatus), QStringLiteral("ABORTED"));
        QCOMPARE(s.ffmpeg.count("start c.mp4"), 0);
        QCOMPARE(s.mostRunning, 1);
    }

    // The row goes at once; its job ends in the background and the next one starts only then.
    void deleteSelectedOnTheRunningRowNeitherFreezesNorOverlaps() {
        Scene s({"a.mp4", "b.mp4"});
        QVERIFY(s.listed && s.convertFirst());
        MainWindow& w = *s.window;
        selectRow(w, 0);
        QElapsedTimer clock;
        clock.start();
        action(w, "actionDelete_Selected")->trigger();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(w.jobCount(), 1);
        QCOMPARE(cell(w, 0, ColumnFileName), QStringLiteral("b.mp4"));
        QCOMPARE(countText(w), QStringLiteral("1 videos in list  "));
        bool startedBeside = false;
        QVERIFY(s.waitWatching([&] {
            if (s.ffmpeg.count("start b.mp4") > 0 && w.retiringJobCount() > 0) startedBeside = true;
            return s.ffmpeg.count("start b.mp4") > 0;
        }));
        QVERIFY(!startedBeside);
        s.ffmpeg.release("b.mp4");
        QVERIFY(s.waitWatching([&] { return idle(w); }));
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("Success"));
        QCOMPARE(s.ffmpeg.log(), QStringList({"start a.mp4", "start b.mp4", "end b.mp4"}));
        QCOMPARE(s.mostRunning, 1);
        QCOMPARE(s.outputFiles(), QStringList({"b_conv.mp4"}));
    }

    void clearWhileAJobRunsEmptiesTheListAtOnce() {
        Scene s({"a.mp4", "b.mp4"});
        QVERIFY(s.listed && s.convertFirst());
        MainWindow& w = *s.window;
        action(w, "actionClear")->trigger();
        QCOMPARE(w.jobCount(), 0);
        QCOMPARE(listModel(w)->rowCount(), 0);
        QCOMPARE(countText(w), QStringLiteral("0 videos in list  "));
        QVERIFY(s.waitWatching([&] { return runningThreads(w) == 0; }, 3000));
        QVERIFY(s.waitWatching([&] { return idle(w); }));
        QTest::qWait(700);
        QCOMPARE(s.ffmpeg.log(), QStringList({"start a.mp4"}));
        QVERIFY(s.outputFiles().isEmpty());
    }

    // Convert right after Cancel All, while the cancelled conversion is still ending: the cancel
    // stands (its run ends aborted), nothing starts beside it, and it runs again afterwards.
    void convertWhileACancelledJobWindsDownWaitsForIt() {
        Scene s({"a.mp4", "b.mp4"});
        QVERIFY(s.listed && s.convertFirst());
        MainWindow& w = *s.window;
        action(w, "actionCancel")->trigger();
        QVERIFY(w.jobAt(0)->QThread::isRunning());
        action(w, "actionSettings")->trigger();
        QVERIFY(s.waitForLog("start a.mp4", 2));
        QCOMPARE(s.ffmpeg.count("start b.mp4"), 0);
        s.ffmpeg.release("a.mp4");
        QVERIFY(s.waitForLog("start b.mp4"));
        s.ffmpeg.release("b.mp4");
        QVERIFY(s.waitWatching([&] { return idle(w); }));
        QCOMPARE(s.ffmpeg.log(), QStringList({"start a.mp4", "start a.mp4", "end a.mp4", "start b.mp4", "end b.mp4"}));
        QCOMPARE(s.mostRunning, 1);
        QCOMPARE(cell(w, 0, ColumnStatus), QStringLiteral("Success"));
        QCOMPARE(cell(w, 1, ColumnStatus), QStringLiteral("Success"));
    }

    void actionsOnNoSelectionShowTheWarning_data() {
        QTest::addColumn<QString>("actionName");
        QTest::newRow("Cancel Selected") << "actionCancel_Selected";
        QTest::newRow("Delete Selected") << "actionDelete_Selected";
    }
    void actionsOnNoSelectionShowTheWarning() {
        QFETCH(QString, actionName);
        Scene s({"a.mp4"});
        QVERIFY(s.listed);
        testsupport::MessageBoxAnswer answer;
        s.window->findChild<QAction*>(actionName)->trigger();
        QVERIFY(answer.box().seen);
        QCOMPARE(answer.box().title, QStringLiteral("Warning"));
        QCOMPARE(answer.box().text, QStringLiteral("Please select a video in the list before cliking on this option\n"));
        QCOMPARE(answer.box().icon, QMessageBox::Critical);
        QCOMPARE(s.window->jobCount(), 1);
    }

    void deletingTheLastOfThreeRowsMakesTheNewLastRowCurrent() {
        Scene s;
        QVERIFY(s.listed);
        MainWindow& w = *s.window;
        selectRow(w, 2);
        action(w, "actionDelete_Selected")->trigger();
        QCOMPARE(w.jobCount(), 2);
        QCOMPARE(listView(w)->currentIndex().row(), 1);
        QCOMPARE(countText(w), QStringLiteral("2 videos in list  "));
    }

    void theDeleteKeyRemovesTheSelectedRow() {
        Scene s({"a.mp4", "b.mp4"});
        QVERIFY(s.listed);
        MainWindow& w = *s.window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        selectRow(w, 0);
        listView(w)->setFocus();
        QTest::keyClick(listView(w), Qt::Key_Delete);
        QCOMPARE(w.jobCount(), 1);
        QCOMPARE(cell(w, 0, ColumnFileName), QStringLiteral("b.mp4"));
    }
};

VANTOREL_QTEST_MAIN(SchedulerTest)
#include "scheduler_test.moc"
