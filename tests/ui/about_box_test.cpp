// The About box: the versions it states are the ones the program runs with, and its links go
// where they say, through QDesktopServices (caught by the test harness).
#include <QLabel>
#include <QPointer>
#include <QPushButton>

extern "C" {
#include <libavutil/avutil.h>
}

#include "tests/support/opened_urls.h"
#include "tests/support/qtest_main.h"
#include "ui/about_box.h"
#include "ui/help_page.h"

using testsupport::OpenedUrls;

class AboutBoxTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        OpenedUrls::clear();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<aboutui*>(w)) delete w;
    }

    // No version is a fixed text of the form: the program's own comes from the build, Qt's and
    // FFmpeg's from the libraries as loaded.
    void statesTheVersionsItRunsWith() {
        QPointer<aboutui> box = openAboutBox();
        QVERIFY(box->isVisible());
        QVERIFY(box->isModal());
        QVERIFY(!box->parent());
        QCOMPARE(box->windowTitle(), QStringLiteral("About Video Repair Tool"));

        QStringList texts;
        for (const QLabel* label : box->findChildren<QLabel*>()) {
            texts << label->text();
            if (!label->text().isEmpty()) QCOMPARE(label->textFormat(), Qt::PlainText);
        }
        const QString all = texts.join('\n');
        QVERIFY2(all.contains(QStringLiteral("V" VANTOREL_VERSION)), qPrintable(all));
        QVERIFY2(all.contains(QStringLiteral("Qt version %1 ").arg(QString::fromLatin1(qVersion()))), qPrintable(all));
        QVERIFY2(all.contains(QStringLiteral("FFmpeg version %1 ").arg(QString::fromUtf8(av_version_info()))), qPrintable(all));
        QVERIFY2(all.contains(QString::fromUtf8(avutil_license())), qPrintable(all));
    }

    void linksOpenTheirPages_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QUrl>("expected");
        QTest::newRow("help page") << "pushButton" << helpPageUrl();
        QTest::newRow("FFmpeg sources") << "pushButton_2" << aboutui::ffmpegSourceUrl();
    }

    void linksOpenTheirPages() {
        QFETCH(QString, button);
        QFETCH(QUrl, expected);
        QPointer<aboutui> box = openAboutBox();
        auto* link = box->findChild<QPushButton*>(button);
        QVERIFY(link);
        link->click();
        QCOMPARE(OpenedUrls::urls(), QList<QUrl>{expected});
        QVERIFY(box->isVisible());  // following a link leaves the box open
    }

    // The help page is ours and local; the FFmpeg link is the project's own page, and the
    // button shows the address it opens.
    void linkTargets() {
        QVERIFY(helpPageUrl().isLocalFile());
        const QUrl ffmpeg = aboutui::ffmpegSourceUrl();
        QCOMPARE(ffmpeg.scheme(), QStringLiteral("https"));
        QCOMPARE(ffmpeg.host(), QStringLiteral("ffmpeg.org"));
        QPointer<aboutui> box = openAboutBox();
        QCOMPARE(box->findChild<QPushButton*>("pushButton_2")->text(), ffmpeg.toString());
    }

    void okClosesAndReleasesTheBox() {
        QPointer<aboutui> box = openAboutBox();
        box->findChild<QPushButton*>("okButton")->click();
        QVERIFY(!box || !box->isVisible());
        QTRY_VERIFY(box.isNull());
        QVERIFY(OpenedUrls::urls().isEmpty());
    }
};

VANTOREL_QTEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"
