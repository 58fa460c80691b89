// The engine's live preview during whole repairs: a generated clip, cut as a recording that lost
// its index, repaired against the reference description that Ordwick writes for the whole clip.
// The cut file holds no parameter sets, so every picture depends on the decode test of the
// reference's header text.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QStringList>
#include <QThread>

#include <future>
#include <map>
#include <thread>
#include <vector>

#include "media/access_codes.h"
#include "media/work_file_names.h"
#include "repair/video_repair.h"
#include "tests/repair/preview_pictures.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

using namespace testsupport;
using namespace previewpictures;

namespace {

ClipSettings clipOf(VideoCodec codec, int width = 320, int height = 240, double seconds = 2) {
    ClipSettings settings;
    settings.video = codec;
    settings.width = width;
    settings.height = height;
    settings.seconds = seconds;
    return settings;
}

// The reference description of `video` as Ordwick writes it (the engine deletes the file it
// reads, so each run gets a fresh copy of this text).
std::string referenceText(const std::string& video) {
    static std::map<std::string, std::string> made;
    auto found = made.find(video);
    if (found != made.end()) return found->second;
    TempDir dir;
    const ProcessResult r = runProcess({programPath("Ordwick"), video, kReferenceAccessCode, dir.file("ref.xml")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    return made[video] = readFile(dir.file("ref.xml"));
}

// One engine, repairing cut copies of generated clips.
class RepairPreview : public ::testing::Test {
protected:
    RepairPreview() {
        // A small read buffer: the scan then also crosses chunk ends.
        engine.setChunkBytes(1 << 16);
        QObject::connect(&engine, &videoRepair::statusFix, [this](const QString& s) { phases << s; });
    }

    int repair(const ClipSettings& settings, double cutAt = 0.8) {
        const std::string whole = clip(settings);
        const std::string damaged = cutClip(settings, cutAt);
        EXPECT_TRUE(writeFile(dir.file("ref.xml"), referenceText(whole)));
        phases.clear();
        return engine.startFixer(QString::fromStdString(damaged), QString::fromStdString(dir.file("ref.xml")),
                                 QString::fromStdString(dir.path() + "/"));
    }
    std::int64_t videoBytes() const { return fileSize(dir.file(kVideoStreamFileName)); }

    TempDir dir;
    videoRepair engine;
    QStringList phases;
};

struct SwitchCase {
    const char* name;
    VideoCodec codec;
    bool enabled;
    bool selected;
};

TEST_F(RepairPreview, PicturesAreEmittedOnlyForTheSelectedRowWithPreviewOn) {
    const SwitchCase cases[] = {
        {"h264 selected, preview on", VideoCodec::H264, true, true},
        {"h265 selected, preview on", VideoCodec::H265, true, true},
        {"h264 preview off", VideoCodec::H264, false, true},
        {"h264 another row selected", VideoCodec::H264, true, false},
        {"h264 neither", VideoCodec::H264, false, false},
    };
    for (const SwitchCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ClipSettings settings = clipOf(c.codec);
        engine.setPreviewEnabled(c.enabled);
        engine.setPreviewSelected(c.selected);
        QSignalSpy pictures(&engine, &videoRepair::previewPicture);
        ASSERT_EQ(repair(settings), videoRepair::kFinished);
        ASSERT_GT(videoBytes(), 10000) << "the repair itself took the video";
        if (!(c.enabled && c.selected)) {
            EXPECT_EQ(pictures.count(), 0) << "no picture emitted";
            continue;
        }
        ASSERT_GT(pictures.count(), 0);
        const QImage shown = pictures.last().first().value<QImage>().convertToFormat(QImage::Format_RGB888);
        ASSERT_FALSE(shown.isNull());
        ASSERT_EQ(shown.size(), QSize(kWidth, kHeight));
        EXPECT_GT(whitePixelsInTextBox(shown), 10) << "\"Repair...\" in its box";
        const double difference = closestFrame(shown, toolFrames({"-i", clip(settings)}, settings.width, settings.height));
        EXPECT_LT(difference, 4.0) << "the picture is a frame of the clip";
    }
}

// The job's thread runs the repair while the GUI thread switches the preview and asks for the
// stop; the scan is held at 40 % until the stop request is in, so the stop lands mid-scan. The
// pictures reach a receiver of the GUI thread queued, on that thread.
TEST_F(RepairPreview, StoppingARepairWithPreviewOnEndsItNormallyWithPicturesShown) {
    const ClipSettings settings = clipOf(VideoCodec::H264, 640, 360, 4);
    engine.setPreviewEnabled(false);
    ASSERT_EQ(repair(settings, 1.0), videoRepair::kFinished);
    const std::int64_t wholeRun = videoBytes();

    QObject window;  // lives on this (the GUI) thread
    QImage shown;
    int offThread = 0;
    QObject::connect(&engine, &videoRepair::previewPicture, &window, [&](const QImage& picture) {
        if (QThread::currentThread() != window.thread()) ++offThread;
        shown = picture;
    });
    engine.setPreviewEnabled(true);
    engine.setPreviewSelected(true);
    std::promise<void> reached;
    std::promise<void> released;
    std::shared_future<void> release = released.get_future().share();
    bool held = false;
    QObject::connect(&engine, &videoRepair::statusFixProgress, [&](int percent) {
        if (held || percent < 40) return;
        held = true;
        reached.set_value();
        release.wait();
    });
    int result = -100;
    std::thread job([&] { result = repair(settings, 1.0); });

    reached.get_future().wait();
    QElapsedTimer waited;
    waited.start();
    bool pictured = false;
    while (!pictured && waited.elapsed() < 20000) {
        QCoreApplication::processEvents();
        pictured = shown.size() == QSize(kWidth, kHeight);
        // The window's selection changes while the job runs.
        engine.setPreviewSelected(true);
    }
    engine.stopFixer();
    released.set_value();
    job.join();

    EXPECT_TRUE(pictured) << "pictures came before the stop";
    EXPECT_EQ(result, videoRepair::kFinished);
    EXPECT_EQ(phases, (QStringList{"Repair started", "Scan...", "Video Repair", "Finilizing process..."}));
    EXPECT_GT(videoBytes(), 0);
    EXPECT_LT(videoBytes(), wholeRun * 3 / 4) << "the scan ended at the stop";
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.size(), QSize(kWidth, kHeight));
    EXPECT_EQ(offThread, 0) << "every picture was received on the GUI thread";
}

// The pictures are made beside the scan: a receiver that holds the decoding thread (as a slow
// decoder would) does not hold the scan, which runs to its end meanwhile.
TEST_F(RepairPreview, TheScanRunsOnWhileThePreviewIsHeld) {
    ClipSettings settings = clipOf(VideoCodec::H264, 640, 360, 4);
    settings.extraArgs = {"-g", "10"};
    engine.setPreviewEnabled(true);
    engine.setPreviewSelected(true);
    std::promise<void> scanEnded;
    std::shared_future<void> ended = scanEnded.get_future().share();
    QObject::connect(&engine, &videoRepair::statusFix, [&](const QString& phase) {
        if (phase == "Finilizing process...") scanEnded.set_value();
    });
    const std::thread::id scanThread = std::this_thread::get_id();
    int pictures = 0;
    int onTheScansThread = 0;
    bool heldUntilTheEnd = true;
    // Without a context object the receiver runs on the emitting thread.
    QObject::connect(&engine, &videoRepair::previewPicture, [&](const QImage&) {
        onTheScansThread += std::this_thread::get_id() == scanThread;
        if (++pictures == 1) heldUntilTheEnd = ended.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    });
    ASSERT_EQ(repair(settings, 1.0), videoRepair::kFinished);
    EXPECT_GT(pictures, 0);
    EXPECT_TRUE(heldUntilTheEnd) << "the scan ended while the first picture's receiver held on";
    EXPECT_EQ(onTheScansThread, 0);
}

}  // namespace
