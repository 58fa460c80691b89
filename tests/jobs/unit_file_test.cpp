// The job object: its state after construction, the window's operations and the cancel.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>

#include <thread>

#include "jobs/unit_file.h"
#include "repair/video_repair.h"
#include "tests/jobs/job_harness.h"
#include "tests/support/test_timing.h"

using namespace jobtest;
using namespace testsupport;

TEST(UnitFile, NewJobIsIdleAndUsable) {
    unitFile job;
    EXPECT_FALSE(job.isDone);
    EXPECT_FALSE(job.isConverting);
    EXPECT_FALSE(job.isRunning);
    EXPECT_FALSE(job.isRepair);
    EXPECT_FALSE(job.cancelRequested);
    EXPECT_FALSE(job.isRepaired);
    EXPECT_FALSE(job.encodersProbed);
    EXPECT_TRUE(job.isUsable);
    EXPECT_EQ(job.status, 0);
    EXPECT_TRUE(job.outputPath.get().empty());
    ASSERT_NE(job.fixer, nullptr);
}

TEST(UnitFile, KeepsTheWindowsDetails) {
    unitFile job;
    videoDetails probed;
    probed.FileName = "clip.mp4";
    probed.mNBStreams = 2;
    probed.mDuration = 83;
    probed.mDurationFormated = "00:01:23";
    probed.mVideoCodec = "h264";
    probed.mVideoBitRate = 1500;
    probed.mVideoframerate = 25.0f;
    probed.mAudioChannels = 2;
    probed.mFileInformationResumed = "summary";
    job.setVideoDetails(probed);
    EXPECT_EQ(job.details.mDuration, 83);
    EXPECT_DOUBLE_EQ(job.details.mVideoframerate, 25.0);
    EXPECT_EQ(job.details.mVideoCodec, "h264");
    EXPECT_EQ(job.details.mVideoBitRate, 1500);
    EXPECT_EQ(job.details.mAudioChannels, 2);
    EXPECT_EQ(job.details.mFileInformationResumed, "summary");
}

TEST(UnitFile, ForwardsTheEngineWithItsBracedUid) {
    unitFile job;
    job.uid = "{0b7c1c36-4a67-4f0e-9d55-2f1c41f0a001}";
    QSignalSpy texts(&job, &unitFile::repairStatusText);
    QSignalSpy percents(&job, &unitFile::repairStatus);
    emit job.fixer->statusFix("Scan...");
    emit job.fixer->statusFixProgress(37);
    ASSERT_EQ(texts.size(), 1);
    EXPECT_EQ(texts[0][0].toString(), QString::fromStdString(job.uid));
    EXPECT_EQ(texts[0][1].toString(), "Scan...");
    ASSERT_EQ(percents.size(), 1);
    EXPECT_EQ(percents[0][0].toString(), QString::fromStdString(job.uid));
    EXPECT_EQ(percents[0][1].toInt(), 37);
}

// The engine paints on the job's thread; the picture reaches the job's signal on the job
// object's own (GUI) thread, with the uid that names its row.
TEST(UnitFile, ForwardsTheEnginesPictureQueuedWithItsUid) {
    unitFile job;
    job.uid = "{0b7c1c36-4a67-4f0e-9d55-2f1c41f0a002}";
    QImage picture(180, 122, QImage::Format_RGB888);
    picture.fill(Qt::darkCyan);
    QSignalSpy pictures(&job, &unitFile::repairPicture);
    bool onGuiThread = false;
    QObject::connect(&job, &unitFile::repairPicture, &job,
                     [&] { onGuiThread = QThread::currentThread() == job.thread(); });
    std::thread([&] { emit job.fixer->previewPicture(picture); }).join();
    EXPECT_EQ(pictures.size(), 0) << "nothing runs on the job's thread";
    ASSERT_TRUE(pictures.wait(5000));
    EXPECT_TRUE(onGuiThread);
    EXPECT_EQ(pictures[0][0].toString(), QString::fromStdString(job.uid));
    EXPECT_EQ(pictures[0][1].value<QImage>(), picture);
}

TEST(UnitFile, CancelReachesTheEngineAndOnlyAResetClearsIt) {
    unitFile job;
    job.setCancel(true);
    EXPECT_TRUE(job.cancelRequested);
    EXPECT_TRUE(job.fixer->stopRequested());
    job.setCancel(false);
    EXPECT_FALSE(job.cancelRequested);
    EXPECT_FALSE(job.fixer->stopRequested());
}

TEST(UnitFile, PreviewSwitchesReachTheEngine) {
    unitFile job;
    job.setPreviewShow(true);
    EXPECT_TRUE(job.previewShow);
    EXPECT_TRUE(job.fixer->previewEnabled);
    job.setSelected(false);
    EXPECT_FALSE(job.fixer->previewSelected);
}

// The audio-repair program is killed from the window's thread at once, though it never
// writes a line: the job's thread owns the process and sees the flag within a poll.
TEST(UnitFile, CancelKillsASilentAudioRepairAtOnce) {
    TempDir dir;
    ProgramOverride brannoc(ChildProgram::AudioRepair, writeScript(dir, "Brannoc", "exec sleep 30\n"));
    unitFile job;
    std::thread jobThread([&] {
        job.repairAudio(QString::fromStdString(dir.file("out-audio.raw")));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QElapsedTimer sinceCancel;
    sinceCancel.start();
    job.setCancel(true);
    jobThread.join();
    EXPECT_LT(sinceCancel.elapsed(), timeBoundMs(1000));
}
