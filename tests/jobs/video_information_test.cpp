#include "jobs/video_information.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <memory>
#include <vector>

#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

using testsupport::AudioCodec;
using testsupport::ClipSettings;
using testsupport::Container;
using testsupport::VideoCodec;

namespace {

std::string describe(const videoDetails& d) {
    return QStringLiteral("%1|streams=%2|%3s=%4|rate=%5|video=%6 %7x%8 %9K")
               .arg(d.FileName)
               .arg(d.mNBStreams)
               .arg(d.mDuration)
               .arg(d.mDurationFormated)
               .arg(d.mBitrate)
               .arg(d.mVideoCodec)
               .arg(d.mVideoWidth)
               .arg(d.mVideoHeight)
               .arg(d.mVideoBitRate)
               .toStdString() +
           QStringLiteral("|real=%1 fps=%2|audio=%3 %4Hz %5ch %6K|%7")
               .arg(double(d.mVideoframerate), 0, 'f', 3)
               .arg(double(d.mVideoFPS), 0, 'f', 3)
               .arg(d.mAudioCodec)
               .arg(d.mAudioSampleRate)
               .arg(d.mAudioChannels)
               .arg(d.mAudioBitRate)
               .arg(d.mFileInformationResumed)
               .toStdString();
}

int rateNumerator(const QString& rate) { return rate.section('/', 0, 0).toInt(); }
int rateDenominator(const QString& rate) { return rate.section('/', 1, 1).toInt(); }

// What the probe must report for a readable file, taken from the ffmpeg tool's own prober.
videoDetails expectedFromFfprobe(const std::string& path) {
    const auto r = testsupport::runProcess(
        {"ffprobe", "-v", "error", "-show_format", "-show_streams", "-of", "json", path});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    const QJsonObject format = root["format"].toObject();
    videoDetails d;
    d.FileName = QString::fromStdString(path);
    d.mNBStreams = format["nb_streams"].toInt();
    d.mDuration = int(format["duration"].toString().toDouble());
    d.mDurationFormated = videoInformation::formatDuration(d.mDuration);
    bool video = false, audio = false;
    for (const QJsonValue& value : root["streams"].toArray()) {
        const QJsonObject s = value.toObject();
        const QString type = s["codec_type"].toString();
        if (type == "video" && !video && s["disposition"].toObject()["attached_pic"].toInt() == 0) {
            video = true;
            d.mVideoCodec = s["codec_name"].toString();
            d.mVideoWidth = s["width"].toInt();
            d.mVideoHeight = s["height"].toInt();
            d.mVideoBitRate = int(s["bit_rate"].toString().toLongLong() / 1000);
            if (d.mVideoBitRate < 1) d.mVideoBitRate = 2500;
            const QString real = s["r_frame_rate"].toString();
            d.mVideoframerate = float(double(rateNumerator(real)) / rateDenominator(real));
            d.mVideoFPS = float(rateNumerator(real) / rateDenominator(real));
        } else if (type == "audio" && !audio) {
            audio = true;
            d.mAudioCodec = s["codec_name"].toString();
            d.mAudioSampleRate = s["sample_rate"].toString().toInt();
            d.mAudioChannels = s["channels"].toInt();
            d.mAudioBitRate = int(s["bit_rate"].toString().toLongLong() / 1000);
        }
    }
    d.mFileInformationResumed = QStringLiteral("Video: %1; %2x%3; %4 Kbps")
                                    .arg(d.mVideoCodec)
                                    .arg(d.mVideoWidth)
                                    .arg(d.mVideoHeight)
                                    .arg(d.mVideoBitRate);
    if (!d.mAudioCodec.isEmpty())
        d.mFileInformationResumed +=
            QStringLiteral(" - Audio: %1; %2Hz; %3 Kbps").arg(d.mAudioCodec).arg(d.mAudioSampleRate).arg(d.mAudioBitRate);
    return d;
}

// What an unreadable file reports: its path and nothing else.
videoDetails unreadable(const std::string& path, const QString& summary = "...") {
    videoDetails d;
    d.FileName = QString::fromStdString(path);
    d.mDurationFormated = "-";
    d.mFileInformationResumed = summary;
    return d;
}

bool ffmpeg(std::vector<std::string> args) {
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto r = testsupport::runProcess(argv);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.exitCode == 0;
}

// Everything a run delivered, in the order it arrived on the receiving thread.
struct Delivery {
    std::vector<std::string> events;
    std::vector<videoDetails> details;
};

void connectRecorder(videoInformation& probe, QObject& context, Delivery& into) {
    QObject::connect(&probe, &videoInformation::startFindInfo, &context, [&into] { into.events.push_back("start"); },
                     Qt::QueuedConnection);
    QObject::connect(&probe, &videoInformation::endFindInfo, &context, [&into] { into.events.push_back("end"); },
                     Qt::QueuedConnection);
    QObject::connect(
        &probe, &videoInformation::FoundVideoDetails, &context,
        [&into](const videoDetails& details) {
            into.events.push_back("found " + details.FileName.toStdString());
            into.details.push_back(details);
        },
        Qt::QueuedConnection);
}

// Runs the probes as threads and lets their queued signals arrive; false on a time-out.
bool runAndDeliver(const std::vector<videoInformation*>& probes) {
    QEventLoop loop;
    int running = int(probes.size());
    for (videoInformation* probe : probes)
        QObject::connect(probe, &QThread::finished, &loop, [&] {
            if (--running == 0) loop.quit();
        }, Qt::QueuedConnection);
    bool timedOut = false;
    QTimer::singleShot(120000, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    for (videoInformation* probe : probes) probe->start();
    loop.exec();
    for (videoInformation* probe : probes) probe->wait();
    QCoreApplication::processEvents();
    return !timedOut;
}

class VideoInformationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<testsupport::TempDir>();
        h264Aac = testsupport::clip(ClipSettings{});
        h265 = testsupport::clip(testsupport::clipSettings(VideoCodec::H265, AudioCodec::Aac));
        pcmMov = testsupport::clip(testsupport::clipSettings(VideoCodec::H264NoBFrames, AudioCodec::PcmS16be, Container::Mov));
        ClipSettings ntsc;
        ntsc.extraArgs = {"-r", "30000/1001"};
        ntscRate = testsupport::clip(ntsc);
        audioOnly = testsupport::clip(testsupport::clipSettings(VideoCodec::None, AudioCodec::Aac));
        cut = testsupport::cutClip(ClipSettings{}, 0.7);
        textFile = dir->file("notes.mp4");
        testsupport::writeFile(textFile, "These are notes, not a video.\n");
        missing = dir->file("missing.mp4");
        // Paths reach the library as UTF-8.
        accented = dir->file("caf\xc3\xa9 clip \xe2\x84\x96" "1.mp4");
        testsupport::writeFile(accented, testsupport::readFile(h264Aac));
        // Matroska leaves stream bit rates unset.
        matroska = dir->file("remux.mkv");
        ffmpeg({"-i", h264Aac, "-c", "copy", matroska});
        const std::string picture = dir->file("cover.png");
        ffmpeg({"-f", "lavfi", "-i", "color=red:s=64x64", "-frames:v", "1", picture});
        withCover = dir->file("cover.mp4");
        ffmpeg({"-i", picture, "-i", h264Aac, "-map", "0", "-map", "1", "-c", "copy", "-disposition:v:0",
                "attached_pic", withCover});
        audioWithCover = dir->file("cover.m4a");
        ffmpeg({"-i", picture, "-i", h264Aac, "-map", "0", "-map", "1:a", "-c", "copy", "-disposition:v:0",
                "attached_pic", audioWithCover});
    }
    static void TearDownTestSuite() { dir.reset(); }

    static std::vector<std::string> readable() { return {h264Aac, h265, pcmMov, ntscRate, matroska, withCover, accented}; }

    static inline std::unique_ptr<testsupport::TempDir> dir;
    static inline std::string h264Aac, h265, pcmMov, ntscRate, audioOnly, cut, textFile, missing, matroska,
        withCover, audioWithCover, accented;
};

TEST_F(VideoInformationTest, ReadableFilesReportWhatFfprobeSees) {
    QStringList paths;
    for (const std::string& p : readable()) paths << QString::fromStdString(p);
    videoInformation probe(paths);
    QObject context;
    Delivery got;
    connectRecorder(probe, context, got);
    ASSERT_TRUE(runAndDeliver({&probe}));
    ASSERT_EQ(got.details.size(), readable().size());
    for (size_t i = 0; i < readable().size(); ++i) {
        SCOPED_TRACE(readable()[i]);
        EXPECT_EQ(describe(got.details[i]), describe(expectedFromFfprobe(readable()[i])));
    }
}

// Spot checks of what the ffprobe comparison cannot show on its own.
TEST_F(VideoInformationTest, ParticularStreams) {
    struct Case {
        std::string path;
        std::function<void(const videoDetails&)> check;
    };
    const Case cases[] = {
        {h264Aac,
         [](const videoDetails& d) {
             EXPECT_TRUE(d.mFileInformationResumed.startsWith("Video: h264; 320x240; "));
             EXPECT_TRUE(d.mFileInformationResumed.contains(" Kbps - Audio: aac; 48000Hz; "));
             EXPECT_EQ(d.mDurationFormated, QString("00:00:02"));
             EXPECT_EQ(d.mAudioChannels, 2);
         }},
        {h265, [](const videoDetails& d) { EXPECT_EQ(d.mVideoCodec, QString("hevc")); }},
        {pcmMov, [](const videoDetails& d) { EXPECT_EQ(d.mAudioCodec, QString("pcm_s16be")); }},
        {ntscRate,
         [](const videoDetails& d) {
             EXPECT_NEAR(d.mVideoframerate, 29.97, 0.01);
             EXPECT_EQ(d.mVideoFPS, 29.0f);
         }},
        {matroska,
         [](const videoDetails& d) {
             EXPECT_EQ(d.mVideoBitRate, 2500);
             EXPECT_EQ(d.mAudioBitRate, 0);
         }},
        {withCover,
         [](const videoDetails& d) {
             EXPECT_EQ(d.mNBStreams, 3);
             EXPECT_EQ(d.mVideoCodec, QString("h264"));
             EXPECT_EQ(d.mVideoWidth, 320);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        videoInformation probe(QString::fromStdString(c.path));
        probe.probeNow();
        c.check(probe.lastDetails());
    }
}

TEST_F(VideoInformationTest, UnreadableFilesStillReportInOrder) {
    const std::vector<std::string> paths = {textFile, h264Aac, missing, audioOnly, cut, audioWithCover};
    QStringList list;
    for (const std::string& p : paths) list << QString::fromStdString(p);
    videoInformation probe(list);
    QObject context;
    Delivery got;
    connectRecorder(probe, context, got);
    ASSERT_TRUE(runAndDeliver({&probe}));

    std::vector<std::string> order = {"start"};
    for (const std::string& p : paths) order.push_back("found " + p);
    order.push_back("end");
    EXPECT_EQ(got.events, order);
    ASSERT_EQ(got.details.size(), paths.size());

    EXPECT_EQ(describe(got.details[0]), describe(unreadable(textFile)));
    EXPECT_EQ(describe(got.details[2]), describe(unreadable(missing)));
    EXPECT_EQ(describe(got.details[4]), describe(unreadable(cut)));
    // Files without a real video stream (audio only, audio with cover art) count as unreadable,
    // whatever the probe got through before.
    for (const size_t i : {size_t(3), size_t(5)}) {
        SCOPED_TRACE(paths[i]);
        const videoDetails& d = got.details[i];
        EXPECT_EQ(d.FileName.toStdString(), paths[i]);
        EXPECT_EQ(d.mNBStreams, 0);
        EXPECT_EQ(d.mVideoCodec, QString());
        EXPECT_EQ(d.mAudioCodec, QString());
        EXPECT_EQ(d.mVideoWidth, 0);
        EXPECT_EQ(d.mDurationFormated, QString("-"));
        EXPECT_EQ(d.mFileInformationResumed, QString("..."));
    }
    // The readable file between them is not disturbed by its neighbours.
    EXPECT_EQ(describe(got.details[1]), describe(expectedFromFfprobe(h264Aac)));
}

TEST_F(VideoInformationTest, ProbeNowReportsOnlyTheStartAndKeepsTheLastFile) {
    videoInformation probe(QStringList{QString::fromStdString(missing), QString::fromStdString(h265)});
    int starts = 0, found = 0, ends = 0;
    QObject::connect(&probe, &videoInformation::startFindInfo, [&] { ++starts; });
    QObject::connect(&probe, &videoInformation::FoundVideoDetails, [&] { ++found; });
    QObject::connect(&probe, &videoInformation::endFindInfo, [&] { ++ends; });
    probe.probeNow();
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(ends, 0);
    const videoDetails expected = expectedFromFfprobe(h265);
    EXPECT_EQ(probe.lastVideoCodec(), expected.mVideoCodec);
    EXPECT_EQ(probe.lastVideoBitRate(), expected.mVideoBitRate);
    EXPECT_EQ(probe.lastDuration(), expected.mDuration);
}

TEST_F(VideoInformationTest, ProbeNowOnAnUnreadableFileOffersTheDiagnostic) {
    for (const std::string& path : {textFile, missing, audioOnly}) {
        SCOPED_TRACE(path);
        videoInformation probe(QString::fromStdString(path));
        probe.probeNow();
        EXPECT_EQ(probe.lastDetails().mFileInformationResumed, QString("Click to launch Diagnostic on this file"));
        EXPECT_EQ(probe.lastDetails().mDurationFormated, QString("-"));
        EXPECT_EQ(probe.lastVideoCodec(), QString());
        EXPECT_EQ(probe.lastVideoBitRate(), 0);
    }
}

TEST_F(VideoInformationTest, ProbesRunningTogetherEachReportTheirOwnFile) {
    videoInformation first(QString::fromStdString(h264Aac));
    videoInformation second(QString::fromStdString(pcmMov));
    QObject context;
    Delivery fromFirst, fromSecond;
    connectRecorder(first, context, fromFirst);
    connectRecorder(second, context, fromSecond);
    ASSERT_TRUE(runAndDeliver({&first, &second}));
    ASSERT_EQ(fromFirst.details.size(), 1u);
    ASSERT_EQ(fromSecond.details.size(), 1u);
    EXPECT_EQ(describe(fromFirst.details[0]), describe(expectedFromFfprobe(h264Aac)));
    EXPECT_EQ(describe(fromSecond.details[0]), describe(expectedFromFfprobe(pcmMov)));
}

TEST_F(VideoInformationTest, AStopEndsTheBatchAfterTheFileBeingRead) {
    videoInformation probe(QStringList{QString::fromStdString(h264Aac), QString::fromStdString(h265),
                                       QString::fromStdString(pcmMov)});
    QObject context;
    Delivery got;
    connectRecorder(probe, context, got);
    // Asked to stop on its own thread while it reports the first file, before it looks at the next.
    QObject::connect(&probe, &videoInformation::FoundVideoDetails, &probe, [&probe] { probe.requestStop(); },
                     Qt::DirectConnection);
    ASSERT_TRUE(runAndDeliver({&probe}));
    EXPECT_EQ(got.events, (std::vector<std::string>{"start", "found " + h264Aac, "end"}));
}

TEST(VideoInformationDuration, FormatsAsTimeOfDay) {
    const std::pair<int, const char*> cases[] = {
        {0, "00:00:00"}, {59, "00:00:59"}, {3600, "01:00:00"}, {86399, "23:59:59"}, {90061, "01:01:01"},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(videoInformation::formatDuration(seconds), QString(text));
}

}  // namespace
