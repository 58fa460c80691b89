// The reference dialog: what a probed reference shows, what it stores under "referenceFile",
// probes that answer out of order, and which ways out of the dialog start a repair.
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "jobs/video_information.h"
#include "tests/support/modal_boxes.h"
#include "tests/support/qtest_main.h"
#include "tests/support/test_clips.h"
#include "tests/ui/window_harness.h"
#include "ui/main_window.h"
#include "ui/reference_dialog.h"
#include "ui/row_look.h"

using namespace windowtest;
using testsupport::AudioCodec;
using testsupport::ClipSettings;
using testsupport::VideoCodec;

namespace {

constexpr const char* kRefused = "This file is not an healthy video file. Please select a valid video file.\n";

template <typename T>
T* child(QWidget& w, const char* name) {
    return w.findChild<T*>(QString::fromLatin1(name));
}

QString videoText(referenceDialog& d) { return child<QLabel>(d, "labelVideo")->text(); }
QString audioText(referenceDialog& d) { return child<QLabel>(d, "labelAudio")->text(); }
bool canRepair(referenceDialog& d) { return child<QPushButton>(d, "save")->isEnabled(); }
bool parametersShown(referenceDialog& d) { return !child<QGroupBox>(d, "groupParameters")->isHidden(); }

bool probed(referenceDialog& d) { return waitFor([&] { return !d.isProbing(); }); }

QString pathOf(const ClipSettings& settings) { return QString::fromStdString(testsupport::clip(settings)); }

ClipSettings ntscClip(AudioCodec audio = AudioCodec::Aac) {
    ClipSettings settings = testsupport::clipSettings(VideoCodec::H264, audio);
    settings.extraArgs = {"-r", "30000/1001"};
    return settings;
}

// How the user leaves the dialog that the Repair action runs.
enum class Leave { Escape, CloseBox, Cancel, RepairNow };

}  // namespace

Q_DECLARE_METATYPE(ClipSettings)
Q_DECLARE_METATYPE(Leave)

class ReferenceDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() { freshSettings(); }

    void aHealthyReferenceShowsItsParametersAndCanBeUsed_data() {
        QTest::addColumn<ClipSettings>("settings");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<bool>("withAudio");
        QTest::newRow("29.97 fps with sound") << ntscClip() << "29.97" << true;
        QTest::newRow("25 fps with sound") << testsupport::clipSettings(VideoCodec::H264, AudioCodec::Aac) << "25.00"
                                           << true;
        QTest::newRow("no sound") << ntscClip(AudioCodec::None) << "29.97" << false;
    }
    void aHealthyReferenceShowsItsParametersAndCanBeUsed() {
        QFETCH(ClipSettings, settings);
        QFETCH(QString, rate);
        QFETCH(bool, withAudio);
        const QString path = pathOf(settings);
        QVERIFY(!path.isEmpty());
        videoDetails details;
        QVERIFY(videoInformation::readFileInfo(path, details));

        referenceDialog d;
        QVERIFY(!canRepair(d));
        QVERIFY(!parametersShown(d));
        d.probeReference(path);
        QVERIFY(probed(d));
        QCOMPARE(videoText(d), QStringLiteral("Video: h264; 320x240; %1 fps; %2 Kbps").arg(rate).arg(details.mVideoBitRate));
        QCOMPARE(audioText(d), withAudio ? QStringLiteral("Audio: aac; 48000Hz; %1 Kbps").arg(details.mAudioBitRate)
                                         : QStringLiteral("Audio: -"));
        QVERIFY(canRepair(d));
        QVERIFY(parametersShown(d));
        QVERIFY(child<QPushButton>(d, "save")->geometry().top() > child<QGroupBox>(d, "groupParameters")->geometry().bottom());
        QCOMPARE(child<QLineEdit>(d, "lineEdit")->text(), path);
        QCOMPARE(storedText(settingsKeys::referenceFile), path);
    }

    void aStoredReferenceIsProbedAgainWhenTheDialogOpens() {
        const QString path = pathOf(ntscClip());
        store(settingsKeys::referenceFile, path);
        referenceDialog d;
        QCOMPARE(child<QLineEdit>(d, "lineEdit")->text(), path);
        QVERIFY(probed(d));
        QVERIFY(videoText(d).startsWith(QLatin1String("Video: h264; 320x240; 29.97 fps")));
        QVERIFY(canRepair(d));
    }

    void aStoredReferenceThatIsGoneOffersNothing() {
        const testsupport::TempDir dir;
        store(settingsKeys::referenceFile, QString::fromStdString(dir.file("gone.mp4")));
        referenceDialog d;
        QVERIFY(!d.isProbing());
        QCOMPARE(videoText(d), QStringLiteral("Video: -"));
        QCOMPARE(audioText(d), QStringLiteral("Audio: -"));
        QVERIFY(!canRepair(d));
        QVERIFY(!parametersShown(d));
    }

    void aFileThatIsNoVideoIsRefused() {
        const testsupport::TempDir dir;
        const std::string notes = dir.file("notes.mp4");
        testsupport::writeFile(notes, "These are notes, not a video.\n");
        referenceDialog d;
        d.probeReference(pathOf(ntscClip()));
        QVERIFY(probed(d));
        QVERIFY(canRepair(d));

        testsupport::MessageBoxAnswer answer;
        d.probeReference(QString::fromStdString(notes));
        QVERIFY(probed(d));
        QVERIFY(waitFor([&] { return answer.box().seen; }));
        QCOMPARE(answer.box().title, QStringLiteral("Warning"));
        QCOMPARE(answer.box().text, QString::fromLatin1(kRefused));
        QCOMPARE(answer.box().icon, QMessageBox::Critical);
        QCOMPARE(storedText(settingsKeys::referenceFile), QString());
        QVERIFY(!canRepair(d));
        QVERIFY(!parametersShown(d));
        QCOMPARE(child<QLineEdit>(d, "lineEdit")->text(), QString());
        QCOMPARE(videoText(d), QStringLiteral("Video: -"));
    }

    // Probes may overlap: an answer from any probe but the one of the latest choice (here one
    // the test makes answer late, after the latest choice was probed) changes nothing.
    void aLateAnswerOfAnEarlierProbeChangesNothing_data() {
        QTest::addColumn<bool>("lateIsHealthy");
        QTest::newRow("late healthy answer after a refusal") << true;
        QTest::newRow("late refusal after a healthy choice") << false;
    }
    void aLateAnswerOfAnEarlierProbeChangesNothing() {
        QFETCH(bool, lateIsHealthy);
        const testsupport::TempDir dir;
        const std::string notes = dir.file("notes.mp4");
        testsupport::writeFile(notes, "These are notes, not a video.\n");
        const QString healthy = pathOf(ntscClip());
        const QString latest = lateIsHealthy ? QString::fromStdString(notes) : healthy;

        referenceDialog d;
        {
            testsupport::MessageBoxAnswer answer;
            d.probeReference(latest);
            QVERIFY(probed(d));
            QCOMPARE(answer.box().seen, lateIsHealthy);
        }
        const QString storedBefore = storedText(settingsKeys::referenceFile);
        const QString videoBefore = videoText(d);
        QCOMPARE(storedBefore, lateIsHealthy ? QString() : latest);

        videoInformation earlier(QStringLiteral("earlier.mp4"));
        connect(&earlier, &videoInformation::FoundVideoDetails, &d, &referenceDialog::FoundVideoDetails);
        connect(&earlier, &videoInformation::startFindInfo, &d, &referenceDialog::startFindInfo);
        testsupport::MessageBoxAnswer lateAnswer(QMessageBox::Ok, 1000);
        emit earlier.startFindInfo();
        const videoDetails late =
            lateIsHealthy ? videoDetails{QStringLiteral("earlier.mp4"), 2, 4, QStringLiteral("00:00:04"), 0,
                                         QStringLiteral("h264"), 1920, 1080, 8000, QStringLiteral("aac"), 25, 48000, 2,
                                         128, QStringLiteral("Video: h264"), 25}
                          : videoDetails{QStringLiteral("earlier.mp4"), 0, 0, QStringLiteral("-"), 0, QString(), 0, 0,
                                         0, QString(), 0, 0, 0, 0, QStringLiteral("..."), 0};
        emit earlier.FoundVideoDetails(late);
        QTest::qWait(300);
        QVERIFY(!lateAnswer.box().seen);
        QCOMPARE(storedText(settingsKeys::referenceFile), storedBefore);
        QCOMPARE(videoText(d), videoBefore);
        QCOMPARE(canRepair(d), !lateIsHealthy);
        QCOMPARE(child<QLineEdit>(d, "lineEdit")->text(), storedBefore);
    }

    void aPathShowsAsItIs() {
        const testsupport::TempDir dir;
        const QString path = QString::fromStdString(dir.file("<b>ref <i>&amp; co.mp4"));
        testsupport::writeFile(path.toStdString(), testsupport::readFile(testsupport::clip(ntscClip())));
        referenceDialog d;
        d.probeReference(path);
        QVERIFY(probed(d));
        QCOMPARE(child<QLineEdit>(d, "lineEdit")->text(), path);
        QCOMPARE(storedText(settingsKeys::referenceFile), path);
        QCOMPARE(child<QLabel>(d, "labelVideo")->textFormat(), Qt::PlainText);
    }

    void cancelForgetsTheReferenceAndRepairNowAccepts() {
        const QString path = pathOf(ntscClip());
        {
            referenceDialog d;
            d.probeReference(path);
            QVERIFY(probed(d));
            child<QPushButton>(d, "save")->click();
            QCOMPARE(d.result(), int(QDialog::Accepted));
            QCOMPARE(storedText(settingsKeys::referenceFile), path);
        }
        referenceDialog d;
        QVERIFY(probed(d));
        child<QPushButton>(d, "cancel")->click();
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(storedText(settingsKeys::referenceFile), QString());
    }

    // With a healthy reference stored and probed, only "Repair Now!" starts the repair.
    void onlyRepairNowStartsARepair_data() {
        QTest::addColumn<Leave>("leave");
        QTest::addColumn<bool>("starts");
        QTest::newRow("Escape") << Leave::Escape << false;
        QTest::newRow("close box") << Leave::CloseBox << false;
        QTest::newRow("Cancel") << Leave::Cancel << false;
        QTest::newRow("Repair Now!") << Leave::RepairNow << true;
    }
    void onlyRepairNowStartsARepair() {
        QFETCH(Leave, leave);
        QFETCH(bool, starts);
        const testsupport::TempDir dir;
        const FakeFfmpeg ffmpeg(dir);
        store(settingsKeys::SavePath, QString::fromStdString(dir.path()) + "/");
        const QString reference = pathOf(ntscClip());
        store(settingsKeys::referenceFile, reference);
        MainWindow w;
        QVERIFY(dropAndWait(w, clipCopies(dir, {"a.mp4"})));

        bool answered = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto* d = qobject_cast<referenceDialog*>(QApplication::activeModalWidget());
            if (!d || d->isProbing() || !canRepair(*d)) return;
            poll.stop();
            answered = true;
            switch (leave) {
                case Leave::Escape: QTest::keyClick(d, Qt::Key_Escape); break;
                case Leave::CloseBox: d->close(); break;
                case Leave::Cancel: child<QPushButton>(*d, "cancel")->click(); break;
                case Leave::RepairNow: child<QPushButton>(*d, "save")->click(); break;
            }
        });
        poll.start(50);
        w.findChild<QAction*>(QStringLiteral("actionRepair"))->trigger();
        QVERIFY(answered);
        QCOMPARE(w.findChild<QAction*>(QStringLiteral("actionCancel"))->isEnabled(), starts);
        QTest::qWait(700);
        QCOMPARE(w.jobAt(0)->QThread::isRunning() || w.jobAt(0)->isDone, starts);
        QCOMPARE(w.jobAt(0)->isRepair, starts);
        QCOMPARE(storedText(settingsKeys::referenceFile), leave == Leave::Cancel ? QString() : reference);
    }
};

VANTOREL_QTEST_MAIN(ReferenceDialogTest)
#include "reference_dialog_test.moc"
