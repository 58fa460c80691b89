// The conversion log dialog: a job's command line and the tool's output, under the converted
// file's name, as plain text; each opening is a copy of its own.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "tests/support/qtest_main.h"
#include "tests/support/test_clips.h"
#include "ui/conversion_log.h"

namespace {

QString shownLog(logconversion* dialog) { return dialog->findChild<QPlainTextEdit*>("textEdit")->toPlainText(); }
QLabel* heading(logconversion* dialog) { return dialog->findChild<QLabel*>("lblTitle"); }

// A short generated clip copied under `name` into `folder`, ready to be converted by a job.
std::unique_ptr<unitFile> jobForClip(const QString& folder, const QString& name) {
    const std::string clip = testsupport::clip(testsupport::ClipSettings{});
    if (clip.empty()) return nullptr;
    const QString source = folder + "/" + name;
    if (!QFile::copy(QString::fromStdString(clip), source)) return nullptr;
    auto job = std::make_unique<unitFile>();
    job->sourcePath = source.toStdString();
    job->fileName = name.toStdString();
    job->uid = "{log-test}";
    return job;
}

}  // namespace

class ConversionLogTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        QSettings(kSettingsOrganisation, kSettingsApplication).clear();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<logconversion*>(w)) delete w;
    }

    // A real conversion of a file whose name looks like markup: the dialog shows the job's log
    // (the command line first, then what the tool wrote) and the converted file's name as they are.
    void showsAFinishedJobsCommandLineAndToolOutput() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QVERIFY(QDir(folder.path()).mkdir("out"));
        clsSettings settings;
        settings.setValue(settingsKeys::SavePath, folder.path() + "/out/");
        settings.setValue(settingsKeys::GeneralFormatOutput, "Mpeg1");
        auto job = jobForClip(folder.path(), QStringLiteral("<b>clip<i> \u00e9t\u00e9.mp4"));
        QVERIFY(job);

        job->start();
        QVERIFY(job->wait(120000));
        QCOMPARE(job->status, unitFile::kStatusOk);

        QPointer<logconversion> dialog = openConversionLog(*job);
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->isModal());
        QVERIFY(!dialog->parent());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("FFmpeg Conversion log"));

        const QString log = shownLog(dialog);
        QCOMPARE(log, QString::fromStdString(job->conversionLog.get()));
        QVERIFY2(log.startsWith("-i " + QString::fromStdString(job->sourcePath) + " "), qPrintable(log.left(300)));
        QVERIFY2(log.contains("Duration: "), qPrintable(log));
        QVERIFY(log.contains("<b>clip<i>"));

        const QString converted = QString::fromStdString(job->conversionOutput.get());
        QVERIFY2(converted.endsWith("/out/<b>clip<i> \u00e9t\u00e9_conv.mpg"), qPrintable(converted));
        QCOMPARE(heading(dialog)->text(), converted);
        QCOMPARE(heading(dialog)->textFormat(), Qt::PlainText);
    }

    void showsTextsLiterally_data() {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QByteArray>("title");
        QTest::newRow("no conversion yet") << QByteArray() << QByteArray();
        QTest::newRow("no conversion for the format") << QByteArray("No conversion\n") << QByteArray();
        QTest::newRow("markup") << QByteArray("<h1>frame=</h1> &amp; <img src=x>\n<b>") << QByteArray("/out/<i>x</i>_conv.avi");
        QTest::newRow("non-ASCII names") << QByteArray("-i /in/\xc3\xa9t\xc3\xa9.mp4\n") << QByteArray("/out/\xe6\x98\xa0\xe5\x83\x8f_conv.mp4");
        QTest::newRow("a NUL byte in the tool's output") << QByteArray("before\0after\n", 13) << QByteArray("/out/x_conv.mp4");
    }

    void showsTextsLiterally() {
        QFETCH(QByteArray, log);
        QFETCH(QByteArray, title);
        unitFile job;
        job.conversionLog.set(log.toStdString());
        job.conversionOutput.set(title.toStdString());
        QPointer<logconversion> dialog = openConversionLog(job);
        QCOMPARE(shownLog(dialog), QString::fromUtf8(log.constData(), log.size()));
        QCOMPARE(heading(dialog)->text(), QString::fromUtf8(title.constData(), title.size()));
        QCOMPARE(heading(dialog)->textFormat(), Qt::PlainText);
    }

    // Two openings of one row are two dialogs; neither follows the job after it opened, and
    // closing one leaves the other.
    void twoOpeningsAreIndependent() {
        unitFile job;
        job.conversionLog.set("first run\n");
        job.conversionOutput.set("/out/a_conv.mp4");
        QPointer<logconversion> first = openConversionLog(job);
        job.conversionLog.set("second run\n");
        job.conversionOutput.set("/out/a_conv(1).mp4");
        QPointer<logconversion> second = openConversionLog(job);

        QVERIFY(first != second);
        QVERIFY(first->isVisible() && second->isVisible());
        QCOMPARE(shownLog(first), QStringLiteral("first run\n"));
        QCOMPARE(heading(first)->text(), QStringLiteral("/out/a_conv.mp4"));
        QCOMPARE(shownLog(second), QStringLiteral("second run\n"));
        QCOMPARE(heading(second)->text(), QStringLiteral("/out/a_conv(1).mp4"));

        first->close();
        QTRY_VERIFY(first.isNull());
        QVERIFY(second && second->isVisible());
        QCOMPARE(shownLog(second), QStringLiteral("second run\n"));
    }

    // The log can be opened while the job converts: each opening holds a whole copy of the
    // name (none yet, or the converted file's) and of the log so far.
    void opensWhileTheJobConverts() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        clsSettings settings;
        settings.setValue(settingsKeys::SavePath, folder.path() + "/");
        settings.setValue(settingsKeys::GeneralFormatOutput, "Mpeg1");
        auto job = jobForClip(folder.path(), QStringLiteral("clip.mp4"));
        QVERIFY(job);
        const QString converted = folder.path() + "/clip_conv.mpg";

        job->start();
        int openings = 0;
        while (!job->isFinished() || openings == 0) {
            QPointer<logconversion> dialog = openConversionLog(*job);
            ++openings;
            const QString title = heading(dialog)->text();
            QVERIFY2(title.isEmpty() || title == converted, qPrintable(title));
            delete dialog;
            QTest::qWait(5);
        }
        QVERIFY(job->wait(120000));
        QCOMPARE(job->status, unitFile::kStatusOk);
        QPointer<logconversion> last = openConversionLog(*job);
        QCOMPARE(heading(last)->text(), converted);
        QVERIFY(shownLog(last).contains("Duration: "));
    }
};

VANTOREL_QTEST_MAIN(ConversionLogTest)
#include "conversion_log_test.moc"
