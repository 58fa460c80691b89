// The diagnostic dialog on real files: its labels, its time-stamped log, the preview picture,
// and Close while the worker is busy.
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include "analysis/diag_worker.h"
#include "tests/support/qtest_main.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "ui/diagnostic_video.h"

namespace {

QStringList logOf(diagnosticvideo& dialog) {
    QStringList lines;
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    for (int row = 0; view && row < view->model()->rowCount(); ++row)
        lines << view->model()->index(row, 0).data().toString();
    return lines;
}

// The log lines without their "hh:mm:ss - " prefix.
QStringList textsOf(diagnosticvideo& dialog) {
    QStringList texts;
    for (const QString& line : logOf(dialog)) texts << line.mid(11);
    return texts;
}

QString labelText(diagnosticvideo& dialog, const char* name) {
    auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QString();
}

// A 720p x264 clip, large enough a picture to pass the decode test's flatness test.
QString clip720p(double seconds) {
    testsupport::ClipSettings settings;
    settings.width = 1280;
    settings.height = 720;
    settings.seconds = seconds;
    return QString::fromStdString(testsupport::clip(settings));
}

}  // namespace

class DiagnosticVideoTest : public QObject {
    Q_OBJECT
private slots:
    void formatsFileSizes_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("bytes") << qint64(1000) << "1000.00 bytes";
        QTest::newRow("none") << qint64(0) << "0.00 bytes";
        QTest::newRow("one KB") << qint64(1024) << "1.00 KB";
        QTest::newRow("one and a half MB") << qint64(1572864) << "1.50 MB";
        QTest::newRow("GB") << qint64(3) * 1024 * 1024 * 1024 << "3.00 GB";
        QTest::newRow("beyond TB stays TB") << qint64(5) * 1024 * 1024 * 1024 * 1024 * 1024 << "5120.00 TB";
    }
    void formatsFileSizes() {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(diagnosticvideo::formatFileSize(bytes), text);
    }

    void startsWithTheFormsTexts() {
        diagnosticvideo dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Kestrine - Broken Video Diagnostic"));
        QCOMPARE(dialog.size(), QSize(585, 367));
        QVERIFY(dialog.isModal());
        QCOMPARE(labelText(dialog, "lblFileType"), QStringLiteral("Searching..."));
        QCOMPARE(labelText(dialog, "lblSize"), QStringLiteral("0MB"));
        QCOMPARE(textsOf(dialog), QStringList{QStringLiteral("Diagnostic started")});
    }

    void diagnosesARealFile() {
        const QString path = clip720p(1);
        QVERIFY(!path.isEmpty());

        diagnosticvideo dialog;
        dialog.show();
        dialog.startDiagnostic(path);
        QCOMPARE(labelText(dialog, "lblFilename"), path);
        QCOMPARE(labelText(dialog, "lblSize"), diagnosticvideo::formatFileSize(QFileInfo(path).size()));
        QTRY_VERIFY_WITH_TIMEOUT(textsOf(dialog).contains(QStringLiteral("Scan Finished.")), 120000);

        const QRegularExpression stamped(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d - "));
        for (const QString& line : logOf(dialog)) QVERIFY2(stamped.match(line).hasMatch(), qPrintable(line));
        const QStringList texts = textsOf(dialog);
        for (const char* expected :
             {"Diagnostic started", "Try to find video type", "Video type found: mp4-ext", "Try to find video informations",
              "FTYP Atom found at 0x8", "Atom description: ftypisom", "H.264 video codec found",
              "Resolution found: 1280x720", "Starting Frame analysis...", "Decoding attempts started... ",
              "We can recover this file"})
            QVERIFY2(texts.contains(QString::fromLatin1(expected)), expected);
        QVERIFY(texts.indexOf(QStringLiteral("Try to find video type")) < texts.indexOf(QStringLiteral("Starting Frame analysis...")));
        QVERIFY(std::any_of(texts.begin(), texts.end(), [](const QString& t) { return t.startsWith("MDAT Atom found at 0x"); }));

        QCOMPARE(labelText(dialog, "lblFileType"), QStringLiteral("MP4-EXT"));
        QCOMPARE(labelText(dialog, "lblCodec"), QStringLiteral("H.264"));
        QCOMPARE(labelText(dialog, "lblResolution"), QStringLiteral("1280x720"));
        auto* bar = dialog.findChild<QProgressBar*>(QStringLiteral("pbAnalysis"));
        QCOMPARE(bar->value(), bar->maximum());
        // A decoded sample frame reached the preview label through the GUI thread.
        auto* preview = dialog.findChild<QLabel*>(QStringLiteral("labelPreview"));
        QTRY_COMPARE(preview->pixmap(Qt::ReturnByValue).size(), QSize(187, 117));
    }

    void fileWithoutTypeOrBrandWaitsForTheBestPreset() {
        testsupport::TempDir dir;
        const std::string path = dir.file("noise.bin");
        QVERIFY(testsupport::writeFile(path, std::string(4096, '\x5A')));
        diagnosticvideo dialog;
        dialog.startDiagnostic(QString::fromStdString(path));
        QTRY_VERIFY_WITH_TIMEOUT(textsOf(dialog).contains(QStringLiteral("No Video type found yet...")), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(textsOf(dialog).contains(QStringLiteral("Scan Finished.")), 60000);
        const QStringList texts = textsOf(dialog);
        QVERIFY(texts.contains(QStringLiteral("FTYP Atom not found")));
        QVERIFY(texts.contains(QStringLiteral("MDAT Atom not found")));
        QVERIFY(texts.contains(QStringLiteral("No resolution found yet...")));
        QVERIFY(texts.contains(QStringLiteral("Need more test to recover your file")));
        // The best preset lends its name at the end.
        QVERIFY(labelText(dialog, "lblFileType") != QStringLiteral("Nothing found yet..."));
        QCOMPARE(labelText(dialog, "lblSize"), QStringLiteral("4.00 KB"));
        // The run has ended: nothing says it is still searching.
        QTRY_COMPARE(labelText(dialog, "lblResolution"), QStringLiteral("Not found"));
        QCOMPARE(labelText(dialog, "lblCodec"), QStringLiteral("Not found"));
    }

    void closeDuringTheMatchingTestStopsTheWorker() {
        const QString path = QString::fromStdString(testsupport::indexLessX264Recording());
        QVERIFY(!path.isEmpty());

        auto dialog = std::make_unique<diagnosticvideo>();
        dialog->show();
        dialog->startDiagnostic(path);
        QTRY_VERIFY_WITH_TIMEOUT(textsOf(*dialog).contains(QStringLiteral("Starting Frame analysis...")), 60000);
        dialog->findChild<QPushButton*>(QStringLiteral("pushButton"))->click();
        QVERIFY(!dialog->isVisible());
        QVERIFY(dialog->worker()->isFinished());
        const int lines = logOf(*dialog).size();
        QTest::qWait(300);
        QCOMPARE(logOf(*dialog).size(), lines);
        QVERIFY(!textsOf(*dialog).contains(QStringLiteral("Scan Finished.")));
        dialog.reset();  // destroying a stopped dialog waits for nothing more
    }

    void destroyingTheDialogStopsARunningWorker() {
        const QString path = clip720p(1);
        auto dialog = std::make_unique<diagnosticvideo>();
        dialog->startDiagnostic(path);
        const clsDiag* worker = dialog->worker();
        QVERIFY(worker->isRunning() || worker->isFinished());
        dialog.reset();  // must not leave a running thread behind (QThread would abort)
    }
};

VANTOREL_QTEST_MAIN(DiagnosticVideoTest)
#include "diagnostic_video_test.moc"
