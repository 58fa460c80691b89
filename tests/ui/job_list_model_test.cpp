// The file list's model: rows and their jobs stay together by uid whatever rows go, and a
// progress report is dropped only when it repeats what the row shows.
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "jobs/unit_file.h"
#include "tests/support/qtest_main.h"
#include "ui/job_list_model.h"
#include "ui/row_look.h"

namespace {

std::unique_ptr<unitFile> jobNamed(const char* name) {
    auto job = std::make_unique<unitFile>();
    job->fileName = name;
    job->uid = std::string("{uid-") + name + "}";
    job->details.mDurationFormated = QStringLiteral("00:00:03");
    return job;
}

QString uidOf(const char* name) { return QStringLiteral("{uid-%1}").arg(QString::fromLatin1(name)); }

QString text(const JobListModel& model, int row, int column) { return model.index(row, column).data().toString(); }

// A list of a.mp4, b.mp4 and c.mp4.
void fill(JobListModel& model) {
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4"}) model.appendJob(jobNamed(name), QStringLiteral("waiting"));
}

}  // namespace

class JobListModelTest : public QObject {
    Q_OBJECT

private slots:
    void aNewRowShowsItsJobAndKeepsItsUid() {
        JobListModel model;
        fill(model);
        QCOMPARE(model.jobCount(), 3);
        QCOMPARE(text(model, 1, ColumnFileName), QStringLiteral("b.mp4"));
        QCOMPARE(text(model, 1, ColumnDuration), QStringLiteral("00:00:03"));
        QCOMPARE(text(model, 1, ColumnStatus), QStringLiteral("waiting"));
        QCOMPARE(model.index(1, ColumnStatus).data(Qt::ToolTipRole).toString(), QStringLiteral("waiting"));
        QCOMPARE(text(model, 1, ColumnProgress), QStringLiteral("0%"));
        QCOMPARE(model.index(1, ColumnFileName).data(JobListModel::kUidRole).toString(), uidOf("b.mp4"));
        QCOMPARE(model.jobAt(1)->fileName, std::string("b.mp4"));
        QCOMPARE(model.jobAt(3), nullptr);
        QCOMPARE(model.jobAt(-1), nullptr);
    }

    // Rows below a removed one move up with their jobs; the removed uid names no row any more.
    void removingARowKeepsEveryOtherRowWithItsJob() {
        JobListModel model;
        fill(model);
        std::unique_ptr<unitFile> taken = model.takeJob(0);
        QVERIFY(taken);
        QCOMPARE(taken->fileName, std::string("a.mp4"));
        QCOMPARE(model.jobCount(), 2);
        QCOMPARE(model.rowOf(uidOf("a.mp4")), -1);
        QCOMPARE(model.rowOf(uidOf("c.mp4")), 1);
        QCOMPARE(model.jobAt(1)->fileName, std::string("c.mp4"));
        QCOMPARE(text(model, 1, ColumnFileName), QStringLiteral("c.mp4"));
        QCOMPARE(model.takeJob(2), nullptr);
        QCOMPARE(model.jobCount(), 2);
    }

    // What hears of a removal (the selection, the window) still finds the row's job then.
    void aRowNamesItsJobWhileItIsBeingRemoved() {
        JobListModel model;
        fill(model);
        std::string heard;
        connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [&](const QModelIndex&, int first) { heard = model.jobAt(first)->fileName; });
        model.takeJob(1);
        QCOMPARE(heard, std::string("b.mp4"));
    }

    void repeatedProgressChangesNothing() {
        JobListModel model;
        fill(model);
        model.showProgress(0, 42, QStringLiteral("Scan... 42%"));
        QCOMPARE(text(model, 0, ColumnProgress), QStringLiteral("42"));
        QCOMPARE(text(model, 0, ColumnStatus), QStringLiteral("Scan... 42%"));
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        model.showProgress(0, 42, QStringLiteral("Scan... 42%"));
        QCOMPARE(changes.count(), 0);
    }

    // A report equal to the row's last one is shown again once anything else was written to the
    // row in between.
    void progressAfterAnotherWriteIsShownAgain_data() {
        QTest::addColumn<int>("write");
        QTest::newRow("status") << 0;
        QTest::newRow("progress") << 1;
        QTest::newRow("look") << 2;
    }
    void progressAfterAnotherWriteIsShownAgain() {
        QFETCH(int, write);
        JobListModel model;
        fill(model);
        model.showProgress(0, 42, QStringLiteral("Scan... 42%"));
        if (write == 0) model.setStatus(0, QStringLiteral("Prepare conversion..."));
        if (write == 1) model.setProgress(0, QStringLiteral("0"));
        if (write == 2) model.showLook(0, RowLook::Waiting);
        model.showProgress(0, 42, QStringLiteral("Scan... 42%"));
        QCOMPARE(text(model, 0, ColumnProgress), QStringLiteral("42"));
        QCOMPARE(text(model, 0, ColumnStatus), QStringLiteral("Scan... 42%"));
        QCOMPARE(model.index(0, ColumnStatus).data(Qt::ForegroundRole).value<QBrush>().color(),
                 QColor(Qt::darkBlue));
    }

    // Each row's last report is its own.
    void anotherRowsReportIsNoRepeat() {
        JobListModel model;
        fill(model);
        model.showProgress(0, 42, QStringLiteral("Scan... 42%"));
        model.showProgress(1, 42, QStringLiteral("Scan... 42%"));
        QCOMPARE(text(model, 1, ColumnProgress), QStringLiteral("42"));
        QCOMPARE(text(model, 1, ColumnStatus), QStringLiteral("Scan... 42%"));
    }
};

VANTOREL_QTEST_MAIN(JobListModelTest)
#include "job_list_model_test.moc"
