// The dialogs as the window opens them: the About box, the conversion log of each selected row
// after a real conversion, the settings dialog of the chosen format, and the diagnostic of the
// current row; the actions that need a row warn without one.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>

#include <set>

#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "tests/support/modal_boxes.h"
#include "tests/support/qtest_main.h"
#include "tests/ui/window_harness.h"
#include "ui/about_box.h"
#include "ui/conversion_log.h"
#include "ui/diagnostic_video.h"
#include "ui/file_list_view.h"
#include "ui/main_window.h"
#include "ui/video_settings.h"

using namespace windowtest;

namespace {

QAction* action(MainWindow& w, const char* name) { return w.findChild<QAction*>(QString::fromLatin1(name)); }

template <typename Dialog>
QList<Dialog*> openDialogs() {
    QList<Dialog*> open;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<Dialog*>(w); dialog && dialog->isVisible()) open << dialog;
    return open;
}

// Opened from the window as its dialogs are: top level, modal, shown.
template <typename Dialog>
bool openedAsDialog(Dialog* dialog) {
    return dialog && !dialog->parent() && dialog->isModal() && dialog->isVisible();
}

void closeAll() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog*>(w)) w->close();
    QTest::qWait(50);  // the dialogs release themselves once closed
}

const QString kSelectionWarning = QStringLiteral("Please select a video in the list before cliking on this option\n");

QStringList diagnosticLog(diagnosticvideo& dialog) {
    QStringList texts;
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    for (int row = 0; row < view->model()->rowCount(); ++row)
        texts << view->model()->index(row, 0).data().toString().mid(11);  // after "hh:mm:ss - "
    return texts;
}

}  // namespace

class WindowDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { freshSettings(); }
    void cleanup() { closeAll(); }

    void aboutOpensTheAboutBox() {
        MainWindow w;
        action(w, "actionAbout")->trigger();
        const auto boxes = openDialogs<aboutui>();
        QCOMPARE(boxes.size(), 1);
        QVERIFY(openedAsDialog(boxes.first()));
        QCOMPARE(boxes.first()->windowTitle(), QStringLiteral("About Video Repair Tool"));
    }

    // Two rows converted for real; each selected row gets a log of its own with the tool's
    // command line and what the tool wrote.
    void theLogOfEachSelectedRowAfterARealConversion() {
        testsupport::TempDir dir;
        const QString output = QString::fromStdString(dir.file("out/"));
        QVERIFY(QDir().mkpath(output));
        store(settingsKeys::SavePath, output);
        store(settingsKeys::GeneralFormatOutput, QStringLiteral("Mpeg1"));
        MainWindow w;
        const QStringList sources = clipCopies(dir, {"a.mp4", "b.mp4"});
        QVERIFY(dropAndWait(w, sources));
        action(w, "actionSettings")->trigger();
        QVERIFY(waitFor([&] { return w.jobAt(0)->isDone && w.jobAt(1)->isDone && action(w, "actionSettings")->isEnabled(); },
                        120000));

        selectRow(w, 1);
        action(w, "logAction")->trigger();
        auto logs = openDialogs<logconversion>();
        QCOMPARE(logs.size(), 1);
        QVERIFY(openedAsDialog(logs.first()));
        const QString log = logs.first()->findChild<QPlainTextEdit*>(QStringLiteral("textEdit"))->toPlainText();
        QCOMPARE(log, QString::fromStdString(w.jobAt(1)->conversionLog.get()));
        QVERIFY2(log.startsWith("-i " + sources[1] + " "), qPrintable(log.left(200)));
        QVERIFY2(log.contains(QStringLiteral("Duration: ")), qPrintable(log));
        QCOMPARE(logs.first()->findChild<QLabel*>(QStringLiteral("lblTitle"))->text(), output + "b_conv.mpg");
        closeAll();

        listView(w)->setSelectionMode(QAbstractItemView::MultiSelection);
        for (int row : {0, 1})
            listView(w)->selectionModel()->select(listModel(w)->index(row, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
        action(w, "logAction")->trigger();
        logs = openDialogs<logconversion>();
        QCOMPARE(logs.size(), 2);
        std::set<QString> titles;
        for (logconversion* dialog : logs) titles.insert(dialog->findChild<QLabel*>(QStringLiteral("lblTitle"))->text());
        QCOMPARE(titles, (std::set<QString>{output + "a_conv.mpg", output + "b_conv.mpg"}));
    }

    void actionsThatNeedARowWarnWithoutOne_data() {
        QTest::addColumn<QString>("actionName");
        QTest::newRow("conversion log") << "logAction";
        QTest::newRow("diagnose") << "actionExit";
    }
    void actionsThatNeedARowWarnWithoutOne() {
        QFETCH(QString, actionName);
        testsupport::TempDir dir;
        MainWindow w;
        QVERIFY(dropAndWait(w, clipCopies(dir, {"a.mp4"})));
        testsupport::MessageBoxAnswer answer;
        action(w, qPrintable(actionName))->trigger();
        QVERIFY(answer.box().seen);
        QCOMPARE(answer.box().text, kSelectionWarning);
        QCOMPARE(answer.box().icon, QMessageBox::Critical);
        QVERIFY(openDialogs<logconversion>().isEmpty());
        QVERIFY(openDialogs<diagnosticvideo>().isEmpty());
    }

    void theSettingsButtonOpensTheChosenFormat_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("videoGroup");
        QTest::newRow("Mp4") << "Mp4" << "MP4 Parameters" << true;
        QTest::newRow("Mp3") << "Mp3" << "MP3 Parameters" << false;
        QTest::newRow("DVD Pal") << "DVD Pal" << "DVD PAL Parameters" << true;
    }
    void theSettingsButtonOpensTheChosenFormat() {
        QFETCH(QString, format);
        MainWindow w;
        auto* formats = w.findChild<QComboBox*>(QStringLiteral("comboFormat"));
        formats->setCurrentIndex(formats->findText(format));
        auto* button = w.findChild<QPushButton*>(QStringLiteral("settingsButton"));
        QVERIFY(button->isEnabled());
        button->click();
        const auto dialogs = openDialogs<videoSettings>();
        QCOMPARE(dialogs.size(), 1);
        QVERIFY(openedAsDialog(dialogs.first()));
        QTEST(dialogs.first()->findChild<QLabel*>(QStringLiteral("labelFormat"))->text(), "title");
        QTEST(!dialogs.first()->findChild<QGroupBox*>(QStringLiteral("groupVideo"))->isHidden(), "videoGroup");
    }

    // The current row's source, diagnosed in its own dialog, which stops its worker and goes
    // when it is closed.
    void diagnoseRunsOnTheCurrentRowsSource() {
        testsupport::TempDir dir;
        MainWindow w;
        const QStringList sources = clipCopies(dir, {"a.mp4", "b.mp4"});
        QVERIFY(dropAndWait(w, sources));
        selectRow(w, 1);
        action(w, "actionExit")->trigger();
        const auto dialogs = openDialogs<diagnosticvideo>();
        QCOMPARE(dialogs.size(), 1);
        QPointer<diagnosticvideo> dialog = dialogs.first();
        QVERIFY(openedAsDialog(dialog.data()));
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblFilename"))->text(), sources[1]);
        QVERIFY(waitFor([&] { return diagnosticLog(*dialog).contains(QStringLiteral("Starting Frame analysis...")); },
                        60000));
        dialog->findChild<QPushButton*>(QStringLiteral("pushButton"))->click();
        QTRY_VERIFY(dialog.isNull());
    }
};

VANTOREL_QTEST_MAIN(WindowDialogsTest)
#include "window_dialogs_test.moc"
