// The file list: drops and what they list, the count label, the progress bar the delegate
// paints, the context menu, and file names shown as they are.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>

#include "jobs/unit_file.h"
#include "jobs/video_details.h"
#include "tests/support/modal_boxes.h"
#include "tests/support/qtest_main.h"
#include "tests/support/special_files.h"
#include "tests/support/test_clips.h"
#include "tests/ui/window_harness.h"
#include "ui/main_window.h"
#include "ui/progress_delegate.h"
#include "ui/row_look.h"
#include "ui/window_pictures.h"

using namespace windowtest;

namespace {

struct Rgb {
    int r, g, b;
};
Rgb at(const QImage& image, double xFraction) {
    const QColor c = image.pixelColor(static_cast<int>(image.width() * xFraction), image.height() / 2);
    return {c.red(), c.green(), c.blue()};
}
bool greenish(Rgb c) { return c.g > c.r + 40 && c.g > c.b + 40; }
bool white(Rgb c) { return c.r > 235 && c.g > 235 && c.b > 235; }

QImage paintProgressCell(const QString& text) {
    QStandardItemModel model(1, 4);
    model.setData(model.index(0, ColumnProgress), text);
    TreeViewDelegate delegate;
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 133, 20);
    QImage image(option.rect.size(), QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    delegate.paint(&painter, option, model.index(0, ColumnProgress));
    painter.end();
    return image;
}

QString infoText(MainWindow& w) { return w.findChild<QLabel*>(QStringLiteral("infoFile"))->text(); }

// What the probe reports for a short healthy clip at `path`.
videoDetails healthyDetails(const QString& path) {
    return {path, 2, 3, QStringLiteral("00:00:03"), 0, QStringLiteral("h264"), 320, 240, 500, QStringLiteral("aac"),
            25, 48000, 2, 128, QStringLiteral("Video: h264"), 25};
}

bool hasDarkPixelsNear(const QImage& image, double xFraction) {
    const int centre = static_cast<int>(image.width() * xFraction);
    for (int x = centre - 12; x <= centre + 12; ++x)
        for (int y = 0; y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < 100) return true;
    return false;
}

}  // namespace

class FileListTest : public QObject {
    Q_OBJECT

private slots:
    void init() { freshSettings(); }

    // Each local file gets a row in drop order; what is no local file gets none.
    void aDropListsTheLocalFilesInOrder() {
        const testsupport::TempDir dir;
        const QStringList clips = clipCopies(dir, {"clip.mp4", "second.MOV"});
        QCOMPARE(clips.size(), 2);
        const std::string notes = dir.file("notes.mp4");
        testsupport::writeFile(notes, "These are notes, not a video.\n");
        QVERIFY(QUrl(QStringLiteral("file:")).toLocalFile().isEmpty());

        MainWindow w;
        drop(w, {QUrl::fromLocalFile(clips[0]), QUrl::fromLocalFile(QString::fromStdString(notes)),
                 QUrl(QStringLiteral("https://example.invalid/clip.mp4")), QUrl(QStringLiteral("file:")),
                 QUrl::fromLocalFile(clips[1])});
        QVERIFY(waitFor([&] { return w.jobCount() == 3 && !w.probingBusy(); }));
        QTest::qWait(200);
        QCOMPARE(w.jobCount(), 3);

        const QStringList names = {"clip.mp4", "notes.mp4", "second.MOV"};
        const QStringList statuses = {"waiting", "Corrupted - Unreadable", "waiting"};
        const QStringList durations = {"00:00:02", "-", "00:00:02"};
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(cell(w, row, ColumnFileName), names[row]);
            QCOMPARE(cell(w, row, ColumnStatus), statuses[row]);
            QCOMPARE(cell(w, row, ColumnDuration), durations[row]);
            QCOMPARE(cell(w, row, ColumnProgress), QStringLiteral("0%"));
            QVERIFY(rowIconIs(w, row, pictures::kLogo));
            QCOMPARE(QString::fromStdString(w.jobAt(row)->fileName), names[row]);
            QVERIFY(QString::fromStdString(w.jobAt(row)->uid).startsWith('{'));
        }
        QCOMPARE(QString::fromStdString(w.jobAt(1)->sourcePath), QString::fromStdString(notes));
        QVERIFY(w.jobAt(0)->uid != w.jobAt(2)->uid);
        QCOMPARE(countText(w), QStringLiteral("3 videos in list  "));
    }

    // While a probe reads, the label says files are coming and Add waits for it; two probes
    // may overlap, and the label settles only when both have ended.
    void theCountLabelShowsProbesAtWork() {
        MainWindow w;
        auto* add = w.findChild<QAction*>(QStringLiteral("actionAdd"));
        w.startFindInfo();
        w.startFindInfo();
        QCOMPARE(countText(w), QStringLiteral("0 videos in list... Adding file"));
        QVERIFY(!add->isEnabled());
        w.endFindInfo();
        QCOMPARE(countText(w), QStringLiteral("0 videos in list... Adding file"));
        QVERIFY(!add->isEnabled());
        w.endFindInfo();
        QCOMPARE(countText(w), QStringLiteral("0 videos in list  "));
        QVERIFY(add->isEnabled());
    }

    void aDropOfPlainTextListsNothing() {
        MainWindow w;
        QMimeData text;
        text.setText(QStringLiteral("clip.mp4, dropped as a line of text"));
        w.OleDragDrop(&text);
        w.OleDragDrop(nullptr);
        QVERIFY(waitFor([&] { return !w.probingBusy(); }));
        QTest::qWait(200);
        QCOMPARE(w.jobCount(), 0);
        QCOMPARE(countText(w), QStringLiteral("0 videos in list  "));
    }

    // Markup and format characters in a file name are the name's own.
    void fileNamesShowAsTheyAre() {
        const testsupport::TempDir dir;
        const QStringList paths = clipCopies(dir, {"<h1>x.mp4", "100% %1 done.mp4", "caf\u00e9 <b>.mp4"});
        QCOMPARE(paths.size(), 3);
        MainWindow w;
        QVERIFY(dropAndWait(w, paths));
        QCOMPARE(cell(w, 0, ColumnFileName), QStringLiteral("<h1>x.mp4"));
        QCOMPARE(cell(w, 1, ColumnFileName), QStringLiteral("100% %1 done.mp4"));
        QCOMPARE(cell(w, 2, ColumnFileName), QStringLiteral("caf\u00e9 <b>.mp4"));
        QCOMPARE(QString::fromStdString(w.jobAt(2)->sourcePath), paths[2]);
        auto* info = w.findChild<QLabel*>(QStringLiteral("infoFile"));
        QCOMPARE(info->textFormat(), Qt::PlainText);
    }

    // Only regular files become rows: a folder (as a file manager drops it, with a trailing
    // "/"), a device and a FIFO are refused and named in the information bar, and nothing is
    // opened (the FIFO would hold the probe).
    void aDropTakesRegularFilesOnly() {
        const testsupport::TempDir dir;
        const QStringList clips = clipCopies(dir, {"clip.mp4"});
        QCOMPARE(clips.size(), 1);
        const std::string folder = dir.file("clips");
        QVERIFY(QDir().mkpath(QString::fromStdString(folder)));
        const testsupport::FifoWatch fifo(dir.file("pipe.mp4"), 5);
        QVERIFY(fifo.made());

        MainWindow w;
        drop(w, {QUrl::fromLocalFile(QString::fromStdString(folder) + "/"), QUrl::fromLocalFile("/dev/null"),
                 QUrl::fromLocalFile(clips[0]), QUrl::fromLocalFile(QString::fromStdString(fifo.path()))});
        QVERIFY(waitFor([&] { return w.jobCount() == 1 && !w.probingBusy(); }));
        QTest::qWait(200);
        QCOMPARE(w.jobCount(), 1);
        QCOMPARE(cell(w, 0, ColumnFileName), QStringLiteral("clip.mp4"));
        QCOMPARE(infoText(w), QStringLiteral("Not added, not a regular file: clips, null, pipe.mp4"));
        QVERIFY(!fifo.released());

        drop(w, {QUrl::fromLocalFile(QString::fromStdString(folder))});
        QVERIFY(waitFor([&] { return !w.probingBusy(); }));
        QTest::qWait(200);
        QCOMPARE(w.jobCount(), 1);
        QCOMPARE(infoText(w), QStringLiteral("Not added, not a regular file: clips"));
        QCOMPARE(countText(w), QStringLiteral("1 videos in list  "));
    }

    // The Add dialog takes a typed name too: a device given there is refused the same way.
    void addFileTakesRegularFilesOnly() {
        const testsupport::TempDir dir;
        const QStringList clips = clipCopies(dir, {"clip.mp4"});
        QCOMPARE(clips.size(), 1);
        MainWindow w;
        QTimer::singleShot(300, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* name = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
            if (name) {
                // Typed as a user types several names.
                name->setText(QStringLiteral("\"/dev/null\" \"%1\"").arg(clips[0]));
                static_cast<QDialog*>(dialog)->accept();  // as the Open button does
            }
            testsupport::rejectNextModalDialog(200);  // the test must not hang on a dialog left open
        });
        w.actionAdd_Clicked();
        QVERIFY(waitFor([&] { return w.jobCount() == 1 && !w.probingBusy(); }));
        QTest::qWait(200);
        QCOMPARE(w.jobCount(), 1);
        QCOMPARE(cell(w, 0, ColumnFileName), QStringLiteral("clip.mp4"));
        QCOMPARE(infoText(w), QStringLiteral("Not added, not a regular file: null"));
    }

    // A file that became a folder while the probe read the files before it gets no row either.
    void aReportOfWhatIsNoLongerAFileAddsNoRow() {
        const testsupport::TempDir dir;
        const std::string folder = dir.file("clip.mp4");
        QVERIFY(QDir().mkpath(QString::fromStdString(folder)));
        MainWindow w;
        w.FoundVideoDetails(healthyDetails(QString::fromStdString(folder)));
        QCOMPARE(w.jobCount(), 0);
        QCOMPARE(infoText(w), QStringLiteral("Not added, not a regular file: clip.mp4"));
    }

    // Rows are made one report at a time: the slot never turns the event loop itself.
    void aReportIsHandledWithoutReenteringTheEventLoop() {
        const testsupport::TempDir dir;
        const std::string file = dir.file("a.mp4");
        testsupport::writeFile(file, "a");
        MainWindow w;
        bool ranInside = false;
        bool inside = true;
        QTimer::singleShot(0, &w, [&] { ranInside = inside; });
        w.FoundVideoDetails(healthyDetails(QString::fromStdString(file)));
        inside = false;
        QCOMPARE(w.jobCount(), 1);
        QTest::qWait(50);
        QVERIFY(!ranInside);
    }

    void theProgressCellPaintsABar_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("greenAtStart");
        QTest::addColumn<bool>("whiteAtFourFifths");
        QTest::newRow("not started") << "0%" << false << true;
        QTest::newRow("zero") << "0" << false << true;
        QTest::newRow("42") << "42" << true << true;
        QTest::newRow("done") << "100" << true << false;
        QTest::newRow("not a number") << "abc" << false << true;
    }
    void theProgressCellPaintsABar() {
        QFETCH(QString, text);
        QFETCH(bool, greenAtStart);
        QFETCH(bool, whiteAtFourFifths);
        const QImage image = paintProgressCell(text);
        QCOMPARE(greenish(at(image, 0.03)), greenAtStart);
        QCOMPARE(white(at(image, 0.03)), !greenAtStart);
        QCOMPARE(white(at(image, 0.8)), whiteAtFourFifths);
        // The percentage is written in the middle.
        QVERIFY(hasDarkPixelsNear(image, 0.5));
    }

    void theProgressCellReadsAWholeNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("percent");
        QTest::newRow("number") << "42" << 42;
        QTest::newRow("with sign") << "0%" << 0;
        QTest::newRow("text") << "abc" << 0;
        QTest::newRow("above") << "150" << 100;
        QTest::newRow("below") << "-5" << 0;
    }
    void theProgressCellReadsAWholeNumber() {
        QFETCH(QString, text);
        QStandardItemModel model(1, 4);
        model.setData(model.index(0, ColumnProgress), text);
        QTEST(TreeViewDelegate::percentOf(model.index(0, ColumnProgress)), "percent");
    }

    void theContextMenuOffersTheRowActions() {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QStringList offered;
        QTimer::singleShot(100, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            for (QAction* a : menu->actions()) offered << a->objectName();
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20), w.mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(&w, &event);
        QCOMPARE(offered, QStringList({"actionCancel_Selected", "actionDelete_Selected", "actionCancel_All",
                                       "actionDelete_All", "logAction"}));
    }
};

VANTOREL_QTEST_MAIN(FileListTest)
#include "file_list_test.moc"
