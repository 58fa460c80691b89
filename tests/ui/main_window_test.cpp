// The window's start, its output settings and their widgets, the links it opens and the
// widths of the list's columns.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include "jobs/settings.h"
#include "tests/support/opened_urls.h"
#include "tests/support/test_process.h"
#include "tests/support/qtest_main.h"
#include "tests/ui/window_harness.h"
#include "ui/file_list_view.h"
#include "ui/help_page.h"
#include "ui/main_window.h"
#include "ui/row_look.h"

using namespace windowtest;
using testsupport::OpenedUrls;

namespace {

template <typename T>
T* child(MainWindow& w, const char* name) {
    return w.findChild<T*>(QString::fromLatin1(name));
}

QString movies() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    while (folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    return folder;
}

QStringList texts(QComboBox& box) {
    QStringList all;
    for (int i = 0; i < box.count(); ++i) all << box.itemText(i);
    return all;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { OpenedUrls::clear(); }

    void aFirstStartStoresTheDefaultsAndOpensTheHelpPageOnce() {
        freshSettings(true);
        QDir(movies()).removeRecursively();
        {
            MainWindow w;
            QCOMPARE(OpenedUrls::urls(), QList<QUrl>({helpPageUrl()}));
            QVERIFY(helpPageUrl().isLocalFile());
        }
        QCOMPARE(storedText(settingsKeys::SavePath), movies() + "/");
        QCOMPARE(storedText(settingsKeys::openPath), movies() + "/");
        QCOMPARE(storedText(settingsKeys::saveInFileDirectory), QStringLiteral("false"));
        QCOMPARE(storedText(settingsKeys::mPreviewShow), QStringLiteral("true"));
        QCOMPARE(storedText(settingsKeys::GeneralFormatOutput), QStringLiteral("Re-Encode (Keep same quality)"));
        QCOMPARE(storedText(settingsKeys::firstlaunch), QStringLiteral("true"));
        // Filling and applying the boxes is no choice of the user's.
        QVERIFY(!isStored(settingsKeys::GeneralRotation));
        // The output folder exists before anything is written into it.
        QVERIFY(QDir(movies()).exists());

        OpenedUrls::clear();
        MainWindow again;
        QVERIFY(OpenedUrls::urls().isEmpty());
    }

    void theBoxesOfferTheFormatsAndRotationsInOrderWithIcons() {
        freshSettings();
        MainWindow w;
        auto* rotation = child<QComboBox>(w, "comboRotate");
        auto* format = child<QComboBox>(w, "comboFormat");
        QCOMPARE(texts(*rotation),
                 QStringList({"No Rotation", "Rotate left 90°", "Rotate right 90°", "Rotate 180°"}));
        QCOMPARE(texts(*format), QStringList({"Re-Encode (Keep same quality)", "AVI", "Mp4", "Mp4 HD 720P",
                                              "Mp4 HD 1080P", "Mov", "Wmv", "Flv", "WebM", "Ogg / Theora", "Mp3",
                                              "Aac", "Ogg Vorbis", "DVD Pal", "DVD Ntsc", "Mpeg1", "Mpeg2"}));
        for (QComboBox* box : {rotation, format})
            for (int i = 0; i < box->count(); ++i)
                QVERIFY2(!box->itemIcon(i).pixmap(16, 16).isNull(), qPrintable(box->itemText(i)));
        QCOMPARE(rotation->currentText(), QStringLiteral("No Rotation"));
        QCOMPARE(format->currentText(), QStringLiteral("Re-Encode (Keep same quality)"));
    }

    void theSettingsButtonIsForFormatsOtherThanTheReEncode() {
        freshSettings();
        MainWindow w;
        auto* format = child<QComboBox>(w, "comboFormat");
        auto* button = child<QPushButton>(w, "settingsButton");
        QVERIFY(!button->isEnabled());
        for (int i : {2, 0, 10, 16}) {
            format->setCurrentIndex(i);
            QCOMPARE(button->isEnabled(), i != 0);
            QCOMPARE(storedText(settingsKeys::GeneralFormatOutput), format->itemText(i));
        }
        child<QComboBox>(w, "comboRotate")->setCurrentIndex(3);
        QCOMPARE(storedText(settingsKeys::GeneralRotation), QStringLiteral("Rotate 180°"));
    }

    void storedChoicesComeBackOnTheNextStart() {
        freshSettings();
        const testsupport::TempDir dir;
        const QString output = QString::fromStdString(dir.path()) + "/";
        {
            MainWindow w;
            child<QComboBox>(w, "comboFormat")->setCurrentIndex(4);
            child<QComboBox>(w, "comboRotate")->setCurrentIndex(1);
            child<QCheckBox>(w, "chkFileDirectory")->setChecked(true);
            QVERIFY(!child<QLineEdit>(w, "outPathText")->isEnabled());
            store(settingsKeys::SavePath, output);
        }
        QCOMPARE(storedText(settingsKeys::saveInFileDirectory), QStringLiteral("true"));
        store(settingsKeys::SavePath, output);
        MainWindow w;
        QCOMPARE(child<QComboBox>(w, "comboFormat")->currentText(), QStringLiteral("Mp4 HD 1080P"));
        QCOMPARE(child<QComboBox>(w, "comboRotate")->currentText(), QStringLiteral("Rotate left 90°"));
        QVERIFY(child<QCheckBox>(w, "chkFileDirectory")->isChecked());
        for (const char* name : {"outPathText", "pushButton", "openDirButton"})
            QVERIFY2(!child<QWidget>(w, name)->isEnabled(), name);
        QCOMPARE(child<QLineEdit>(w, "outPathText")->text(), output);
        QVERIFY(child<QPushButton>(w, "settingsButton")->isEnabled());
    }

    void storedTextsThatMatchNothing_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("savePath");
        QTest::addColumn<int>("formatIndex");
        QTest::addColumn<bool>("savePathKept");
        QTest::newRow("unknown format") << "Mp5" << "" << -1 << false;
        QTest::newRow("other letter case") << "mp4" << "" << -1 << false;
        QTest::newRow("missing output folder") << "Mov" << "/no/such/folder/" << 5 << false;
        QTest::newRow("existing output folder") << "Mov" << "TEMP" << 5 << true;
    }
    void storedTextsThatMatchNothing() {
        QFETCH(QString, format);
        QFETCH(QString, savePath);
        QFETCH(bool, savePathKept);
        const testsupport::TempDir dir;
        if (savePath == QLatin1String("TEMP")) savePath = QString::fromStdString(dir.path()) + "/";
        freshSettings();
        store(settingsKeys::GeneralFormatOutput, format);
        store(settingsKeys::SavePath, savePath);
        MainWindow w;
        QTEST(child<QComboBox>(w, "comboFormat")->currentIndex(), "formatIndex");
        // Index -1 is not the re-encode.
        QVERIFY(child<QPushButton>(w, "settingsButton")->isEnabled());
        QCOMPARE(child<QLineEdit>(w, "outPathText")->text(), savePathKept ? savePath : movies() + "/");
    }

    void thePreviewSwitchReadsTrueInAnyCaseOrEmpty_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("on");
        QTest::newRow("TRUE") << "TRUE" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("false") << "false" << false;
        QTest::newRow("no") << "no" << false;
    }
    void thePreviewSwitchReadsTrueInAnyCaseOrEmpty() {
        QFETCH(QString, stored);
        freshSettings();
        store(settingsKeys::mPreviewShow, stored);
        MainWindow w;
        QTEST(child<QCheckBox>(w, "checkPreview")->isChecked(), "on");
    }

    void theOutputFolderOpensAsAFileUrl() {
        freshSettings();
        const testsupport::TempDir dir;
        const QString folder = QString::fromStdString(dir.path()) + "/take #1?/";
        QVERIFY(QDir().mkpath(folder));
        store(settingsKeys::SavePath, folder);
        MainWindow w;
        child<QPushButton>(w, "openDirButton")->click();
        QCOMPARE(OpenedUrls::urls().size(), 1);
        QCOMPARE(OpenedUrls::urls().first(), QUrl::fromLocalFile(folder));
        QCOMPARE(OpenedUrls::urls().first().toLocalFile(), folder);
    }

    void theStatusBarLinkOpensTheHelpPage() {
        freshSettings();
        MainWindow w;
        QPushButton* link = nullptr;
        for (QPushButton* button : w.statusBar()->findChildren<QPushButton*>())
            if (button->text().contains(QLatin1String("Video Repair Tool"))) link = button;
        QVERIFY(link);
        QTest::mousePress(link, Qt::LeftButton);
        QTest::mouseRelease(link, Qt::LeftButton);
        QCOMPARE(OpenedUrls::urls(), QList<QUrl>({helpPageUrl()}));
        // The build puts the page beside the program, where the program looks for it.
        QFile page(QString::fromStdString(testsupport::programDir()) + "/help/index.html");
        QVERIFY(page.open(QIODevice::ReadOnly));
        QVERIFY(page.readAll().contains("What the statuses mean"));
    }

    void theToolbarAndActionsAreAsTheSlotsExpect() {
        freshSettings();
        MainWindow w;
        QStringList toolbar;
        for (QAction* a : w.findChild<QToolBar*>(QStringLiteral("toolBar"))->actions())
            toolbar << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
        QCOMPARE(toolbar, QStringList({"actionAdd", "actionSettings", "actionRepair", "actionExit", "|", "actionCancel",
                                       "|", "actionClear", "|", "actionAbout"}));
        QVERIFY(!child<QAction>(w, "actionExit")->isVisible());
        QVERIFY(!child<QAction>(w, "actionCancel")->isEnabled());
        for (const char* name : {"actionCancel_Selected", "actionDelete_Selected", "actionCancel_All",
                                 "actionDelete_All", "logAction"})
            QVERIFY2(child<QAction>(w, name), name);
        for (const char* name : {"infoFile", "labelPreview", "checkPreview", "horizontalSlider", "settingsButton"})
            QVERIFY2(child<QWidget>(w, name), name);
    }

    void columnsFitTheListWidth_data() {
        QTest::addColumn<int>("listWidth");
        QTest::addColumn<int>("fileNameWidth");
        QTest::newRow("wide") << 900 << 900 - 474;
        QTest::newRow("just wide enough") << 525 << 51;
        QTest::newRow("name would be too narrow") << 524 << 226;
        QTest::newRow("list too narrow") << 150 << 226;
    }
    void columnsFitTheListWidth() {
        QFETCH(int, listWidth);
        freshSettings();
        MainWindow w;
        clsMyTree* view = listView(w);
        view->setColumnWidth(ColumnDuration, 10);
        view->setColumnWidth(ColumnStatus, 10);
        view->resize(listWidth, view->height());
        w.fitColumns();
        QTEST(view->columnWidth(ColumnFileName), "fileNameWidth");
        QCOMPARE(view->columnWidth(ColumnDuration), 80);
        QCOMPARE(view->columnWidth(ColumnStatus), 240);
    }
};

VANTOREL_QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
