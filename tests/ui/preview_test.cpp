// Selection and preview in the window: the current row's picture and summary, the slider, the
// Preview switch, the preview following a conversion and a job's end, and rows removed or the
// window closed while a picture is being decoded. Pictures are checked against the ffmpeg tool's
// frames at the same second.
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPixmap>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <atomic>
#include <thread>

#include "jobs/previewer.h"
#include "jobs/unit_file.h"
#include "media/access_codes.h"
#include "repair/video_repair.h"
#include "tests/support/preview_pictures.h"
#include "tests/support/qtest_main.h"
#include "tests/support/test_process.h"
#include "tests/ui/window_harness.h"
#include "ui/clickable_label.h"
#include "ui/file_list_view.h"
#include "ui/main_window.h"
#include "ui/preview_file.h"
#include "ui/window_pictures.h"

using namespace windowtest;
using testsupport::ClipSettings;

Q_DECLARE_METATYPE(PreviewOccasion)
Q_DECLARE_METATYPE(PreviewFile)

// What happens around a live repair picture before it reaches the window.
enum class PictureMoment { Nothing, PreviewOff, Deselected, OtherRowSelected, RowRemovedOnItsWay };
Q_DECLARE_METATYPE(PictureMoment)

namespace {

// testsrc2 draws its own clock, so frames a second apart differ clearly; a key frame every
// second lets a seek land on the second asked for.
ClipSettings clockClip(int width = 320, int height = 240) {
    ClipSettings settings;
    settings.audio = testsupport::AudioCodec::None;
    settings.seconds = 4;
    settings.width = width;
    settings.height = height;
    settings.extraArgs = {"-g", "25", "-keyint_min", "25"};
    return settings;
}

template <typename T>
T* child(MainWindow& w, const char* name) {
    return w.findChild<T*>(QString::fromLatin1(name));
}

QImage pixels(const QPixmap& pixmap) { return pixmap.toImage().convertToFormat(QImage::Format_RGB888); }

// The preview's picture once the previewer has done what it was asked and its picture arrived.
QImage settledPreview(MainWindow& w) {
    waitFor([&] { return !w.previewDecoder().isRunning(); });
    QCoreApplication::processEvents();
    return pixels(child<QLabel>(w, "labelPreview")->pixmap(Qt::ReturnByValue));
}

bool showsPlaceholder(MainWindow& w) { return settledPreview(w) == pixels(QPixmap(pictures::kPreview)); }

QString information(MainWindow& w) { return child<QLabel>(w, "infoFile")->text(); }


bool selectedForLivePictures(MainWindow& w, int row) { return w.jobAt(row)->fixer->previewSelected.load(); }

// A picture no clip frame or placeholder looks like, of the live preview's size.
QImage livePicture() {
    QImage picture(180, 122, QImage::Format_RGB888);
    picture.fill(QColor(200, 30, 160));
    return picture;
}

// The engine of `job` emits `picture` on a thread of its own, as during a repair; it is on its
// way (queued) when this returns.
void emitFromRepairThread(unitFile& job, const QImage& picture) {
    std::thread([&] { emit job.fixer->previewPicture(picture); }).join();
}

// Runs the engine of `job` on a thread of its own, as the job's thread does, over a cut copy
// of `settings`'s clip with the reference description Ordwick writes for the whole clip,
// turning the event loop until it ends.
bool repairOnJobThread(unitFile& job, const ClipSettings& settings, const testsupport::TempDir& dir) {
    const std::string reference = dir.file("ref.xml");
    const testsupport::ProcessResult analysed =
        testsupport::runProcess({testsupport::programPath("Ordwick"), testsupport::clip(settings), kReferenceAccessCode, reference});
    if (analysed.exitCode != 0) return false;
    std::atomic<bool> done{false};
    int result = -100;
    std::thread repair([&] {
        result = job.fixer->startFixer(QString::fromStdString(testsupport::cutClip(settings, 0.8)),
                                       QString::fromStdString(reference), QString::fromStdString(dir.path() + "/"));
        done = true;
    });
    const bool ended = waitFor([&] { return done.load(); }, 60000);
    repair.join();
    QCoreApplication::processEvents();  // the last pictures arrive
    return ended && result == videoRepair::kFinished;
}

// A window listing copies of the 4 s clock clip (and whatever else the test adds).
struct Scene {
    explicit Scene(const QStringList& names = {"clock.mp4"}, const ClipSettings& settings = clockClip())
        : settings(settings) {
        freshSettings();
        sources = clipCopies(dir, names, settings);
        window = std::make_unique<MainWindow>();
        listed = sources.size() == names.size() && dropAndWait(*window, sources);
    }
    // The tool's frame of the first listed clip at `seconds`.
    QImage frame(int seconds) const {
        return testsupport::toolPreviewFrame(sources.first().toStdString(), seconds, settings.width, settings.height,
                                             dir.path());
    }
    bool shows(int seconds) {
        return testsupport::differenceOutsideTimeBox(settledPreview(*window), frame(seconds)) < 4.0;
    }

    ClipSettings settings;
    testsupport::TempDir dir;
    QStringList sources;
    std::unique_ptr<MainWindow> window;
    bool listed = false;
};

}  // namespace

class PreviewTest : public QObject {
    Q_OBJECT

private slots:
    void selectingARowShowsItsPictureAndSummary() {
        Scene s;
        QVERIFY(s.listed);
        const QString notes = QString::fromStdString(s.dir.file("notes.mp4"));
        QVERIFY(testsupport::writeFile(notes.toStdString(), "not a video\n"));
        QVERIFY(dropAndWait(*s.window, {notes}));
        MainWindow& w = *s.window;
        QVERIFY(showsPlaceholder(w));

        selectRow(w, 0);
        QCOMPARE(w.shownRow(), 0);
        QCOMPARE(information(w), w.jobAt(0)->details.mFileInformationResumed);
        QCOMPARE(w.previewDecoder().filePath(), s.sources.first());
        QVERIFY(!showsPlaceholder(w));
        QVERIFY(s.shows(0));
        QVERIFY(testsupport::whitePixelsInTimeBox(settledPreview(w), 110, 176) > 10);
        QVERIFY(selectedForLivePictures(w, 0));
        QVERIFY(!selectedForLivePictures(w, 1));

        // The probe could not read the text file: nothing to preview, the placeholder shows.
        selectRow(w, 1);
        QCOMPARE(information(w), w.jobAt(1)->details.mFileInformationResumed);
        QVERIFY(!w.previewDecoder().isOpen());
        QVERIFY(showsPlaceholder(w));
        QVERIFY(!selectedForLivePictures(w, 0));
        QVERIFY(selectedForLivePictures(w, 1));

        listView(w)->selectionModel()->clearSelection();
        QCOMPARE(w.shownRow(), -1);
        QCOMPARE(information(w), QStringLiteral("..."));
        QVERIFY(!selectedForLivePictures(w, 0) && !selectedForLivePictures(w, 1));
    }

    // The information label reports a click on itself; nothing listens, so nothing opens.
    void clickingTheInformationLabelOpensNothing() {
        Scene s;
        QVERIFY(s.listed);
        MainWindow& w = *s.window;
        selectRow(w, 0);
        auto* info = child<mylabel>(w, "infoFile");
        QSignalSpy clicks(info, &mylabel::clicked);
        const int windows = QApplication::topLevelWidgets().size();
        QTest::mouseClick(info, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.first().first().value<mylabel*>(), info);
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::topLevelWidgets().size(), windows);
    }

    void theSliderMovesThroughTheFile_data() {
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("second");
        QTest::newRow("half") << 50 << 2;
        QTest::newRow("three quarters") << 75 << 3;
        QTest::newRow("start") << 0 << 0;
    }
    void theSliderMovesThroughTheFile() {
        QFETCH(int, percent);
        QFETCH(int, second);
        Scene s;
        QVERIFY(s.listed);
        MainWindow& w = *s.window;
        selectRow(w, 0);
        QVERIFY(s.shows(0));
        auto* slider = child<QSlider>(w, "horizontalSlider");
        slider->setValue(1);  // so that every row's value below is a change
        slider->setValue(percent);
        QVERIFY(s.shows(second));
        QCOMPARE(int(w.previewDecoder().currentPosition()), second);
    }

    // A slider dragged across the file asks for many positions while pictures are decoded; the
    // one it stops at is the one shown.
    void aDraggedSliderEndsOnItsLastPosition() {
        Scene s({"large.mp4"}, clockClip(1280, 720));
        QVERIFY(s.listed);
        MainWindow& w = *s.window;
        selectRow(w, 0);
        QVERIFY(s.shows(0));
        auto* slider = child<QSlider>(w, "horizontalSlider");
        slider->setValue(10);
        // The later values come while the picture at 10 % is being decoded.
        while (w.previewDecoder().isRunning() && !w.previewDecoder().isDecoding()) {
        }
        for (int value : {40, 60, 75}) slider->setValue(value);
        QVERIFY(s.shows(3));
    }

    void turningPreviewOffShowsThePlaceholderAndStopsFollowing() {
        Scene s;
        QVERIFY(s.listed);
        MainWindow& w = *s.window;
        unitFile* job = w.jobAt(0);
        selectRow(w, 0);
        QVERIFY(!showsPlaceholder(w));

        child<QCheckBox>(w, "checkPreview")->setChecked(false);
        QVERIFY(showsPlaceholder(w));
        QVERIFY(!w.previewDecoder().isOpen());
        QVERIFY(!child<QSlider>(w, "horizontalSlider")->isEnabled());
        QVERIFY(!job->previewShow);
        QVERIFY(!job->fixer->previewEnabled);

        // The job converts and ends: with Preview off neither shows a picture.
        const QString uid = uidOf(w, 0);
        job->isConverting = true;
        fromJobThread([&] { emit job->progressConvert(uid, 25, 50, 2, 4); });
        QVERIFY(showsPlaceholder(w));
        job->isConverting = false;
        job->isDone = true;
        fromJobThread([&] { emit job->endConvert(uid, unitFile::kStatusOk); });
        QVERIFY(!w.previewDecoder().isOpen());
        QVERIFY(showsPlaceholder(w));

        // On again: the selected row's file from its start.
        child<QCheckBox>(w, "checkPreview")->setChecked(true);
        QVERIFY(child<QSlider>(w, "horizontalSlider")->isEnabled());
        QVERIFY(job->previewShow && job->fixer->previewEnabled);
        QVERIFY(s.shows(0));
    }

    void duringAConversionThePreviewFollowsTheReportedTime() {
        Scene s({"clock.mp4", "other.mp4"});
        QVERIFY(s.listed);
        MainWindow& w = *s.window;
        unitFile* job = w.jobAt(0);
        selectRow(w, 0);
        QVERIFY(s.shows(0));
        auto* slider = child<QSlider>(w, "horizontalSlider");
        slider->setValue(25);

        const QString uid = uidOf(w, 0);
        job->isConverting = true;
        fromJobThread([&] { emit job->progressConvert(uid, 25, 75, 3, 4); });
        QVERIFY(s.shows(3));
        QVERIFY2(testsupport::whitePixelsInTimeBox(settledPreview(w), 45, 105) > 10, "\"Convert: \" left of the time");
        QVERIFY(!slider->isEnabled());
        QCOMPARE(slider->value(), 0);

        // Another row's conversion does not move this row's preview.
        unitFile* other = w.jobAt(1);
        other->isConverting = true;
        fromJobThread([&] { emit other->progressConvert(uidOf(w, 1), 25, 25, 1, 4); });
        QVERIFY(s.shows(3));

        // The conversion ends well: a conversion job's preview goes back to its source's start.
        job->isConverting = false;
        job->isDone = true;
        fromJobThread([&] { emit job->endConvert(uid, unitFile::kStatusOk); });
        QVERIFY(slider->isEnabled());
        QVERIFY(s.shows(0));
        QVERIFY(testsupport::whitePixelsInTimeBox(settledPreview(w), 45, 105) == 0);

        // A failed end closes it.
        fromJobThread([&] { emit job->endConvert(uid, unitFile::kStatusConversionError); });
        QVERIFY(!w.previewDecoder().isOpen());
        QVERIFY(showsPlaceholder(w));
    }

    // The end of the current row's repair phase moves its preview to the repaired file.
    void aRepairsEndShowsTheRepairedFile() {
        Scene s({"clock.mp4", "other.mp4"});
        QVERIFY(s.listed);
        MainWindow& w = *s.window;
        const QString repaired = QString::fromStdString(s.dir.file("clock_fix.mp4"));
        QVERIFY(QFile::copy(s.sources.first(), repaired));
        for (int row : {0, 1}) {
            w.jobAt(row)->isRepair = true;
            w.jobAt(row)->outputPath.set(repaired.toStdString());
        }
        selectRow(w, 0);
        fromJobThread([&] { emit w.jobAt(1)->endRepair(uidOf(w, 1)); });
        QCOMPARE(w.previewDecoder().filePath(), s.sources.first());
        fromJobThread([&] { emit w.jobAt(0)->endRepair(uidOf(w, 0)); });
        QCOMPARE(w.previewDecoder().filePath(), repaired);
        QVERIFY(s.shows(0));
    }

    // Which of a job's files each occasion shows.
    void theFileShownFollowsTheJob_data() {
        QTest::addColumn<PreviewOccasion>("occasion");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<bool>("repair");
        QTest::addColumn<bool>("converting");
        QTest::addColumn<bool>("done");
        QTest::addColumn<PreviewFile>("shown");
        const auto selected = PreviewOccasion::RowSelected;
        QTest::newRow("listed") << selected << true << false << false << false << PreviewFile::Source;
        QTest::newRow("repair converting") << selected << true << true << true << false << PreviewFile::Output;
        QTest::newRow("repair done") << selected << true << true << false << true << PreviewFile::Source;
        QTest::newRow("unreadable, listed") << selected << false << false << false << false << PreviewFile::None;
        QTest::newRow("unreadable, converted") << selected << false << false << false << true << PreviewFile::None;
        QTest::newRow("unreadable, repair converting") << selected << false << true << true << false << PreviewFile::Output;
        QTest::newRow("unreadable, repair done") << selected << false << true << false << true << PreviewFile::Output;
        const auto converted = PreviewOccasion::ConversionSucceeded;
        QTest::newRow("converted") << converted << true << false << false << true << PreviewFile::Source;
        QTest::newRow("repaired and converted") << converted << false << true << false << true << PreviewFile::Output;
        QTest::newRow("repair ended") << PreviewOccasion::RepairEnded << false << true << false << false
                                      << PreviewFile::Output;
    }
    void theFileShownFollowsTheJob() {
        QFETCH(PreviewOccasion, occasion);
        QFETCH(bool, readable);
        QFETCH(bool, repair);
        QFETCH(bool, converting);
        QFETCH(bool, done);
        QTEST(previewFileFor(occasion, PreviewJobState{readable, repair, converting, done}), "shown");
    }

    // The row whose picture is being decoded goes: no crash, and no picture of it stays on show.
    // With a row after it, the selection moves there and shows that row's picture.
    void removingTheShownRowWhileItsPictureDecodes_data() {
        QTest::addColumn<bool>("anotherRow");
        QTest::newRow("the only row") << false;
        QTest::newRow("a row follows") << true;
    }
    void removingTheShownRowWhileItsPictureDecodes() {
        QFETCH(bool, anotherRow);
        freshSettings();
        testsupport::TempDir dir;
        QStringList files = clipCopies(dir, {"large.mp4"}, clockClip(1280, 720));
        if (anotherRow) files << clipCopies(dir, {"small.mp4"}, clockClip());
        MainWindow w;
        QVERIFY(dropAndWait(w, files));

        selectRow(w, 0);
        QVERIFY2(w.previewDecoder().isRunning(), "the picture is still being decoded");
        child<QAction>(w, "actionDelete_Selected")->trigger();
        QCOMPARE(w.jobCount(), anotherRow ? 1 : 0);
        QTest::qWait(200);  // anything the removed row's decode had sent has arrived
        if (!anotherRow) {
            QCOMPARE(w.shownRow(), -1);
            QCOMPARE(information(w), QStringLiteral("..."));
            QVERIFY(!w.previewDecoder().isOpen());
            QVERIFY(showsPlaceholder(w));
            return;
        }
        QCOMPARE(w.shownRow(), 0);
        QCOMPARE(w.previewDecoder().filePath(), files.last());
        const QImage small = testsupport::toolPreviewFrame(files.last().toStdString(), 0, 320, 240, dir.path());
        QVERIFY(testsupport::differenceOutsideTimeBox(settledPreview(w), small) < 4.0);
    }

    // The engine paints only for the selected row with Preview on, but a picture it made just
    // before a switch arrives after it; the window shows a repair picture only when its row is
    // the shown one and Preview is on at the moment it arrives.
    void aRepairPictureShowsOnlyOnTheShownRowWithPreviewOn_data() {
        QTest::addColumn<PictureMoment>("moment");
        QTest::addColumn<int>("repairRow");
        QTest::addColumn<bool>("shown");
        QTest::newRow("the shown row") << PictureMoment::Nothing << 0 << true;
        QTest::newRow("another row") << PictureMoment::Nothing << 1 << false;
        QTest::newRow("Preview turned off") << PictureMoment::PreviewOff << 0 << false;
        QTest::newRow("row deselected") << PictureMoment::Deselected << 0 << false;
        QTest::newRow("another row selected") << PictureMoment::OtherRowSelected << 0 << false;
        QTest::newRow("row removed while on its way") << PictureMoment::RowRemovedOnItsWay << 0 << false;
    }
    void aRepairPictureShowsOnlyOnTheShownRowWithPreviewOn() {
        QFETCH(PictureMoment, moment);
        QFETCH(int, repairRow);
        QFETCH(bool, shown);
        Scene s({"clock.mp4", "other.mp4"});
        QVERIFY(s.listed);
        MainWindow& w = *s.window;
        selectRow(w, 0);
        QVERIFY(s.shows(0));
        const QImage picture = livePicture();
        unitFile& job = *w.jobAt(repairRow);
        switch (moment) {
        case PictureMoment::Nothing:
            break;
        case PictureMoment::PreviewOff:
            child<QCheckBox>(w, "checkPreview")->setChecked(false);
            break;
        case PictureMoment::Deselected:
            listView(w)->selectionModel()->clearSelection();
            break;
        case PictureMoment::OtherRowSelected:
            selectRow(w, 1);
            break;
        case PictureMoment::RowRemovedOnItsWay:
            emitFromRepairThread(job, picture);
            child<QAction>(w, "actionDelete_Selected")->trigger();
            break;
        }
        const QImage before = settledPreview(w);
        if (moment != PictureMoment::RowRemovedOnItsWay) emitFromRepairThread(job, picture);
        QCoreApplication::processEvents();
        const QImage after = settledPreview(w);
        QCOMPARE(after == picture, shown);
        if (!shown) QCOMPARE(after, before);
    }

    // A real repair of the shown row, its engine on a thread of its own: its pictures show in
    // place of the placeholder while Preview is on, and none while it is off.
    void theShownRowsRunningRepairShowsItsPictures_data() {
        QTest::addColumn<bool>("preview");
        QTest::newRow("Preview on") << true;
        QTest::newRow("Preview off") << false;
    }
    void theShownRowsRunningRepairShowsItsPictures() {
        QFETCH(bool, preview);
        const ClipSettings settings = testsupport::clipSettings(testsupport::VideoCodec::H264, testsupport::AudioCodec::Aac);
        freshSettings();
        testsupport::TempDir dir;
        MainWindow w;
        // The damaged recording itself is listed: the probe cannot read it, so the row shows the
        // placeholder until the repair paints.
        QVERIFY(dropAndWait(w, {QString::fromStdString(testsupport::cutClip(settings, 0.8))}));
        child<QCheckBox>(w, "checkPreview")->setChecked(preview);
        selectRow(w, 0);
        QVERIFY(showsPlaceholder(w));

        unitFile& job = *w.jobAt(0);
        QSignalSpy forwarded(&job, &unitFile::repairPicture);
        QVERIFY(repairOnJobThread(job, settings, dir));
        if (!preview) {
            QCOMPARE(forwarded.count(), 0);
            QVERIFY(showsPlaceholder(w));
            return;
        }
        QVERIFY(forwarded.count() > 0);
        const QImage last = pixels(QPixmap::fromImage(forwarded.last().at(1).value<QImage>()));
        QCOMPARE(last.size(), QSize(180, 122));
        QVERIFY(!showsPlaceholder(w));
        QCOMPARE(settledPreview(w), last);
    }

    // The previewer stops before its label goes with the window.
    void closingTheWindowWhileAPictureDecodes() {
        freshSettings();
        testsupport::TempDir dir;
        auto w = std::make_unique<MainWindow>();
        QVERIFY(dropAndWait(*w, clipCopies(dir, {"large.mp4"}, clockClip(1280, 720))));
        selectRow(*w, 0);
        child<QSlider>(*w, "horizontalSlider")->setValue(50);
        QVERIFY(w->previewDecoder().isRunning());
        w.reset();
        QCoreApplication::processEvents();
    }
};

VANTOREL_QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
