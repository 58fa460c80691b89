// The diagnostic worker end to end on generated files: its signals in order, its log texts and
// verdicts, the codec rule of the matching test, stop requests and unreadable files.
#include "analysis/diag_worker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

#include "analysis/frame_finder.h"
#include "tests/analysis/annexb_window.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/special_files.h"
#include "tests/support/test_process.h"

namespace {

using Events = std::vector<std::string>;

// Runs one diagnostic and records what the dialog would receive, in order.
class Recorder {
public:
    explicit Recorder(const std::string& path) : worker(QString::fromStdString(path)) {
        auto add = [this](std::string e) { events.push_back(std::move(e)); };
        QObject::connect(&worker, &clsDiag::startTypeFinder, &context, [=] { add("startTypeFinder"); });
        QObject::connect(&worker, &clsDiag::endTypeFinder, &context,
                         [=](const QString& type) { add("endTypeFinder:" + type.toStdString()); });
        QObject::connect(&worker, &clsDiag::startHeaderFinder, &context, [=] { add("startHeaderFinder"); });
        QObject::connect(&worker, &clsDiag::endHeaderFinder, &context, [=] { add("endHeaderFinder"); });
        QObject::connect(&worker, &clsDiag::startFindFrames, &context, [=] { add("startFindFrames"); });
        QObject::connect(&worker, &clsDiag::infoScan, &context, [=](const QString& m) { add("log:" + m.toStdString()); });
        QObject::connect(&worker, &clsDiag::infoScanProgress, &context,
                         [=](int c, int m) { add("progress:" + std::to_string(c) + "/" + std::to_string(m)); });
        QObject::connect(&worker, &clsDiag::InfoFoundFromDecode, &context, [=] { add("decoded"); });
        QObject::connect(&worker, &clsDiag::InfoFoundCodec, &context,
                         [=](bool hevc) { add(hevc ? "codec:HEVC" : "codec:H.264"); });
        QObject::connect(&worker, &clsDiag::ErrorEncountered, &context, [=](const std::string& m) { add("error:" + m); });
    }

    // Starts the worker and returns once its thread ended and every queued signal arrived.
    void run() {
        QEventLoop loop;
        QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        worker.start();
        loop.exec();
        ASSERT_TRUE(worker.wait(1000)) << "the worker did not end";
        QCoreApplication::processEvents();
    }

    bool has(const std::string& e) const { return std::find(events.begin(), events.end(), e) != events.end(); }
    std::size_t count(const std::string& prefix) const {
        return std::size_t(std::count_if(events.begin(), events.end(), [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
    }
    Events logs() const {
        Events out;
        for (const std::string& e : events)
            if (e.rfind("log:", 0) == 0) out.push_back(e.substr(4));
        return out;
    }

    QObject context;
    clsDiag worker;
    Events events;
};

// A preset that knows nothing, so it scores 0, named and typed as asked.
DiagPreset emptyPreset(const std::string& name, bool hevc) {
    DiagPreset p;
    p.presetName = name;
    p.isHEVC = hevc;
    return p;
}

void useOnly(clsDiag& worker, std::vector<DiagPreset> presets, std::vector<std::string> spsList = {}) {
    worker.setPresetSource([presets, spsList](std::vector<std::string>& sps, std::vector<DiagPreset>& out) {
        sps = spsList;
        out = presets;
    });
}

TEST(DiagWorker, SignalsComeInStageOrderWithTheirTexts) {
    testsupport::ClipSettings settings;
    settings.seconds = 1;
    settings.width = 1280;  // large enough that its pictures pass the flatness test
    settings.height = 720;
    const std::string path = testsupport::clip(settings);
    ASSERT_FALSE(path.empty());
    Recorder r(path);
    r.run();
    const Events head(r.events.begin(), r.events.begin() + 5);
    EXPECT_EQ(head, (Events{"startTypeFinder", "endTypeFinder:mp4-ext", "startHeaderFinder", "endHeaderFinder",
                            "startFindFrames"}));
    EXPECT_EQ(r.count("endTypeFinder"), 1u);  // a type was found: no second announcement
    const Events logs = r.logs();
    ASSERT_GE(logs.size(), 3u);
    EXPECT_EQ(logs.front().rfind("Matching test 0 - Video Frames recognized=", 0), 0u);
    EXPECT_TRUE(std::find(logs.begin(), logs.end(), "Decoding attempts started... ") != logs.end());
    EXPECT_EQ(logs.back(), "Scan Finished.");
    EXPECT_EQ(r.events.back(), "progress:100/100");
    // The file's own parameter sets decode its frames.
    EXPECT_TRUE(r.has("log:We can recover this file"));
    EXPECT_TRUE(r.has("decoded"));
    EXPECT_EQ(r.worker.decodedSize(), (std::pair<int, int>{settings.width, settings.height}));
    EXPECT_TRUE(r.worker.isH264);
    EXPECT_TRUE(r.worker.ftypFound);
}

TEST(DiagWorker, H265FileSkipsH264Presets) {
    testsupport::ClipSettings settings;
    settings.video = testsupport::VideoCodec::H265;
    settings.seconds = 0.5;
    const std::string path = testsupport::clip(settings);
    ASSERT_FALSE(path.empty());
    Recorder r(path);
    useOnly(r.worker, {emptyPreset("a", false), emptyPreset("b", false), emptyPreset("c", true)});
    r.run();
    Events matching;
    for (const std::string& line : r.logs())
        if (line.rfind("Matching test", 0) == 0) matching.push_back(line.substr(0, 17));
    EXPECT_EQ(matching, (Events{"Matching test 2 -"}));
    EXPECT_TRUE(r.has("progress:3/3"));
    EXPECT_FALSE(r.has("progress:1/3"));
}

TEST(DiagWorker, NoTypeFoundAnnouncesTheBestPresetsNameSecond) {
    // A raw stream carries no signature the type finder knows.
    const std::string path = testsupport::rawStream(
        "worker-raw.h264", "testsrc2=size=320x240:rate=25:duration=0.5", {"-c:v", "libx264", "-preset", "veryfast"});
    ASSERT_FALSE(path.empty());
    Recorder r(path);
    useOnly(r.worker, {emptyPreset("first preset", false), emptyPreset("second preset", false)});
    r.run();
    EXPECT_EQ(r.count("endTypeFinder"), 2u);
    const auto first = std::find(r.events.begin(), r.events.end(), "endTypeFinder:");
    const auto second = std::find(r.events.begin(), r.events.end(), "endTypeFinder:first preset");
    EXPECT_NE(first, r.events.end());
    EXPECT_NE(second, r.events.end());
    EXPECT_LT(first, second);
}

TEST(DiagWorker, StopEndsTheRunWithoutItsLastLines) {
    testsupport::ClipSettings settings;
    settings.seconds = 1;
    const std::string path = testsupport::clip(settings);
    ASSERT_FALSE(path.empty());
    Recorder r(path);
    // Asked on the worker's own thread as soon as frame finding starts.
    QObject::connect(&r.worker, &clsDiag::startFindFrames, &r.worker, [&] { r.worker.stopRequested = true; },
                     Qt::DirectConnection);
    r.run();
    EXPECT_TRUE(r.has("startFindFrames"));
    EXPECT_FALSE(r.has("log:Scan Finished."));
    EXPECT_EQ(r.count("log:Matching test"), 0u);
    EXPECT_TRUE(r.worker.isFinished());
}

TEST(DiagWorker, UnreadableFileNeedsMoreTests) {
    testsupport::TempDir dir;
    Recorder r(dir.file("missing.mp4"));
    useOnly(r.worker, {emptyPreset("a", false)}, {"0000000167"});
    r.run();
    EXPECT_TRUE(r.has("log:Need more test to recover your file"));
    EXPECT_TRUE(r.has("log:Scan Finished."));
    EXPECT_FALSE(r.has("decoded"));
}

TEST(DiagWorker, InvalidCandidateTextIsOneFailedAttempt) {
    testsupport::TempDir dir;
    Recorder r(dir.file("missing.mp4"));
    DiagPreset preset = emptyPreset("a", false);
    preset.headers = {"NOT HEX", "0000000"};
    useOnly(r.worker, {preset}, {"XYZ"});
    r.run();
    EXPECT_TRUE(r.has("log:Scan Finished."));
    EXPECT_TRUE(r.has("progress:100/100"));
}

// The presets are walked several at once, but a score above 99.1 still ends the test in list
// order: the presets after it are neither logged nor given a score or units.
TEST(DiagWorker, AScoreAboveTheEnoughMarkEndsTheMatchingTest) {
    testsupport::TempDir dir;
    const std::string path = dir.file("slices.h264");
    std::string bytes;
    const std::string slice = std::string("\x00\x00\x03\xE4\x41\x9A", 6) + std::string(994, '\x5C');
    while (bytes.size() + slice.size() <= std::size_t(kDiagWindowSize)) bytes += slice;
    bytes.resize(std::size_t(kDiagWindowSize), '\xEE');
    ASSERT_TRUE(testsupport::writeFile(path, bytes));
    DiagPreset slices = emptyPreset("slices", false);
    slices.nalStats[1].minSize = 20;
    slices.nalStats[1].maxSize = 1000;
    slices.nalStats[1].headerWords = {0x419A};
    DiagPreset later = slices;
    later.presetName = "later";
    Recorder r(path);
    useOnly(r.worker, {emptyPreset("none", false), slices, later, emptyPreset("last", false)});
    r.run();
    Events matching;
    for (const std::string& line : r.logs())
        if (line.rfind("Matching test", 0) == 0) matching.push_back(line);
    EXPECT_EQ(matching, (Events{"Matching test 0 - Video Frames recognized=0%",
                                "Matching test 1 - Video Frames recognized=99.9996% - Excellent !"}));
    EXPECT_TRUE(r.has("progress:2/4"));
    EXPECT_FALSE(r.has("progress:3/4"));
    ASSERT_EQ(r.worker.presets.size(), 4u);
    EXPECT_EQ(r.worker.presets[1].units.size(), bytes.size() / slice.size());
    for (std::size_t i : {2u, 3u}) {
        EXPECT_EQ(r.worker.presets[i].score, 0.0f) << i;
        EXPECT_TRUE(r.worker.presets[i].units.empty()) << i;
    }
    EXPECT_TRUE(r.has("log:Good chances we can recover your file"));
}

// A recording of the kind the built-in presets were made from, cut before its index: the
// presets' words and sizes recognise its frames and their parameter sets decode them.
TEST(DiagWorker, MoovLessRecordingMatchingABuiltInPresetCanBeRecovered) {
    const std::string path = testsupport::indexLessX264Recording();
    ASSERT_FALSE(path.empty());
    ASSERT_GT(testsupport::fileSize(path), 7340032);
    Recorder r(path);
    r.run();
    const Events logs = r.logs();
    const std::string mark = " - Excellent !";
    const bool excellent = std::any_of(logs.begin(), logs.end(), [&](const std::string& l) {
        return l.size() > mark.size() && l.compare(l.size() - mark.size(), mark.size(), mark) == 0;
    });
    EXPECT_TRUE(excellent) << ::testing::PrintToString(logs);
    EXPECT_TRUE(r.has("log:We can recover this file")) << ::testing::PrintToString(logs);
    EXPECT_TRUE(r.worker.foundParameterSets.empty());  // the index with its configuration is gone
    EXPECT_EQ(r.worker.videoTypeNow(), "mp4-ext");
}

}  // namespace

// A FIFO given as the damaged file holds no recording: the diagnostic ends as for an unreadable
// file, without waiting for a writer.
TEST(DiagWorker, FifoIsReadAsAnUnreadableFile) {
    testsupport::TempDir dir;
    const testsupport::FifoWatch fifo(dir.file("recording.mp4"), 10);
    ASSERT_TRUE(fifo.made());
    Recorder r(fifo.path());
    useOnly(r.worker, {emptyPreset("a", false)}, {"0000000167"});
    r.run();
    EXPECT_TRUE(r.has("log:Need more test to recover your file"));
    EXPECT_TRUE(r.has("log:Scan Finished."));
    EXPECT_FALSE(fifo.released());
}
