#include "jobs/previewer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>
#include <QSignalSpy>

#include <chrono>
#include <cmath>
#include <thread>

#include "jobs/preview_time.h"
#include "tests/support/preview_pictures.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

using namespace testsupport;

namespace {

// testsrc2 draws its own clock, so frames a second apart differ clearly. A key frame every
// second lets a backward seek land on the whole second asked for.
ClipSettings clockClip(AudioCodec audio = AudioCodec::None, bool lateStart = false) {
    ClipSettings settings;
    settings.video = VideoCodec::H264;
    settings.audio = audio;
    settings.seconds = 4;
    settings.extraArgs = {"-g", "25", "-keyint_min", "25"};
    if (lateStart) settings.extraArgs.insert(settings.extraArgs.end(), {"-output_ts_offset", "1.5"});
    return settings;
}

// The same clip in another container (the last "-f <format> <path>" of the recipe replaced).
std::string clipAs(const ClipSettings& settings, const std::string& format, const std::string& path) {
    std::vector<std::string> argv = clipCommand(settings, path);
    argv[argv.size() - 2] = format;
    const ProcessResult r = runProcess(argv);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return path;
}

// The ffmpeg tool's frame at `seconds` of a clip of the default size.
QImage toolFrame(const std::string& file, int seconds, const TempDir& dir) {
    const QImage frame = toolPreviewFrame(file, seconds, 320, 240, dir.path());
    EXPECT_FALSE(frame.isNull()) << file << " at " << seconds << " s";
    return frame;
}

QImage shownPicture(const QLabel& label) {
    QCoreApplication::processEvents();
    return label.pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_RGB888);
}

QPixmap marker() {
    QPixmap p(4, 4);
    p.fill(Qt::magenta);
    return p;
}

// Opens as the window does: position 0, open, then position and start.
QImage previewAt(previewer& p, QLabel& label, const std::string& file, float seconds, bool converting = false) {
    if (p.isOpen()) p.closeFile();
    p.isConverting = converting;
    p.setPosition(0);
    p.openFile(QString::fromStdString(file));
    EXPECT_TRUE(p.isOpen()) << file;
    if (!p.isOpen()) return {};
    p.setPosition(seconds);
    p.start();
    EXPECT_TRUE(p.wait(30000));
    return shownPicture(label);
}

struct MatchCase {
    const char* name;
    const char* format;  // "" for the clip as made
    bool lateStart;      // the input starts at 1.5 s
    float position;
};

void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.name; }

class PreviewerPicture : public ::testing::TestWithParam<MatchCase> {};

TEST_P(PreviewerPicture, MatchesTheToolsFrameAtThatSecond) {
    const MatchCase& c = GetParam();
    TempDir dir;
    const ClipSettings settings = clockClip(AudioCodec::None, c.lateStart);
    std::string file = clip(settings);
    ASSERT_FALSE(file.empty());
    if (*c.format) file = clipAs(settings, c.format, dir.file(std::string("clip.") + c.name));

    QLabel label;
    previewer p(&label);
    const QImage shown = previewAt(p, label, file, c.position);
    ASSERT_EQ(shown.size(), QSize(180, 122));

    const int second = static_cast<int>(c.position);
    const QImage expected = toolFrame(file, second, dir);
    ASSERT_FALSE(expected.isNull());
    EXPECT_LT(differenceOutsideTimeBox(shown, expected), 4.0) << "frame at " << second << " s";
    const QImage otherSecond = toolFrame(file, second == 0 ? 1 : second - 1, dir);
    EXPECT_GT(differenceOutsideTimeBox(shown, otherSecond), 6.0) << "the comparison tells seconds apart";
    EXPECT_GT(whitePixelsInTimeBox(shown, 110, 176), 10) << "time text in its box";
    p.closeFile();
}

// A late start is added to the seek target, or the picture would come from 1.5 s too early.
INSTANTIATE_TEST_SUITE_P(Containers, PreviewerPicture,
                         ::testing::Values(MatchCase{"mp4_first", "", false, 0}, MatchCase{"mp4", "", false, 2},
                                           MatchCase{"mp4_truncated", "", false, 2.9f},
                                           MatchCase{"mp4_late_start", "", true, 2},
                                           MatchCase{"mkv_late_start", "matroska", true, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

// Cover art stored after the film is a video stream too; the film is what the row previews.
TEST(PreviewerPicture, CoverArtBehindTheFilmIsNotPreviewed) {
    TempDir dir;
    const std::string film = clip(clockClip());
    ASSERT_FALSE(film.empty());
    const std::string cover = dir.file("cover.png");
    const std::string withCover = dir.file("with-cover.mp4");
    ASSERT_EQ(runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i", "color=red:s=64x64",
                          "-frames:v", "1", cover})
                  .exitCode,
              0);
    const ProcessResult made = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", film, "-i", cover, "-map",
                                           "0", "-map", "1", "-c", "copy", "-disposition:v:1", "attached_pic", withCover});
    ASSERT_EQ(made.exitCode, 0) << made.err;

    QLabel label;
    previewer p(&label);
    const QImage shown = previewAt(p, label, withCover, 2);
    ASSERT_EQ(shown.size(), QSize(180, 122));
    EXPECT_LT(differenceOutsideTimeBox(shown, toolFrame(film, 2, dir)), 4.0);
    p.closeFile();
}

TEST(PreviewerPictureBox, AConversionTimeIsWrittenInTheWiderBox) {
    QLabel label;
    previewer p(&label);
    const std::string file = clip(clockClip());
    const QImage plain = previewAt(p, label, file, 1);
    const QImage converting = previewAt(p, label, file, 1, true);
    ASSERT_EQ(converting.size(), QSize(180, 122));
    EXPECT_EQ(whitePixelsInTimeBox(plain, 45, 105), 0);
    EXPECT_GT(whitePixelsInTimeBox(converting, 45, 105), 10) << "\"Convert: \" left of the time";
    p.closeFile();
}

// A slider dragged over the file asks for position after position while a picture is being
// decoded; the picture shown at the end is the one of the last position, the start included.
TEST(PreviewerPicture, TheLastPositionAskedForIsTheOneShown) {
    TempDir dir;
    ClipSettings large = clockClip();
    large.width = 1280;
    large.height = 720;
    const std::string file = clip(large);
    ASSERT_FALSE(file.empty());
    auto frameAt = [&](int seconds) { return toolPreviewFrame(file, seconds, 1280, 720, dir.path()); };
    QLabel label;
    previewer p(&label);
    p.setPosition(0);
    p.openFile(QString::fromStdString(file));
    ASSERT_TRUE(p.isOpen());
    p.showAt(1);
    while (p.isRunning() && !p.isDecoding()) {
    }
    for (float seconds : {2.0f, 1.0f, 0.0f, 2.0f, 3.0f}) p.showAt(seconds);
    ASSERT_TRUE(p.wait(30000));
    const QImage shown = shownPicture(label);
    ASSERT_EQ(shown.size(), QSize(180, 122));
    EXPECT_LT(differenceOutsideTimeBox(shown, frameAt(3)), 4.0);
    // And again once the thread has ended: a new request starts it.
    p.showAt(1);
    ASSERT_TRUE(p.wait(30000));
    EXPECT_LT(differenceOutsideTimeBox(shownPicture(label), frameAt(1)), 4.0);
    // Back at the start after other positions: the first frame, not the one after the last shown.
    p.showAt(0);
    ASSERT_TRUE(p.wait(30000));
    EXPECT_LT(differenceOutsideTimeBox(shownPicture(label), frameAt(0)), 4.0);
    EXPECT_DOUBLE_EQ(p.duration(), 4.0);
    p.closeFile();
    EXPECT_DOUBLE_EQ(p.duration(), 0.0);
}

TEST(PreviewTime, TextAndBox) {
    struct Case {
        float seconds;
        bool converting;
        const char* text;
    };
    for (const Case& c : {Case{12.9f, false, "00:00:12"}, Case{12.9f, true, "Convert: 00:00:12"},
                          Case{3723, false, "01:02:03"}, Case{0, false, "00:00:00"}, Case{59.999f, false, "00:00:59"},
                          Case{-3, false, "00:00:00"}})
        EXPECT_EQ(previewTimeText(c.seconds, c.converting).toStdString(), c.text) << c.seconds;
    EXPECT_EQ(previewTimeBox(false), QRectF(110, 5, 66, 12));
    EXPECT_EQ(previewTimeBox(true), QRectF(45, 5, 131, 12));
}

TEST(PreviewSeekTarget, WholeSecondsAfterTheStartInTheStreamsTimeBase) {
    struct Case {
        const char* what;
        float seconds;
        std::int64_t start;
        int num;
        int den;
        std::int64_t target;
    };
    const std::int64_t none = INT64_MIN;  // a start time without value
    for (const Case& c : {Case{"mp4 track", 2.9f, 0, 1, 12800, 25600}, Case{"ts start 1.48 s", 2, 1480000, 1, 90000, 313200},
                          Case{"start without value", 3, none, 1, 90000, 270000},
                          Case{"start without value, ms", 1.5f, none, 1, 1000, 1000},
                          Case{"nothing to seek", 0, 0, 1, 1000, none}, Case{"negative", -2, 0, 1, 1000, none},
                          Case{"bad time base", 2, 0, 0, 1000, none}, Case{"absurd", 1e30f, 0, 1, 1000, none}})
        EXPECT_EQ(previewSeekTarget(c.seconds, c.start, c.num, c.den), c.target) << c.what;
}

TEST(PreviewerFailures, AFileWithoutVideoShowsTheDefaultPicture) {
    ClipSettings audioOnly;
    audioOnly.video = VideoCodec::None;
    audioOnly.seconds = 3;
    QLabel label;
    label.setPixmap(marker());
    previewer p(&label);
    QSignalSpy errors(&p, &previewer::errorFindPicture);
    p.openFile(QString::fromStdString(clip(audioOnly)));
    ASSERT_TRUE(p.isOpen());
    p.setPosition(1);
    p.start();
    ASSERT_TRUE(p.wait(30000));
    EXPECT_EQ(errors.count(), 1);
    EXPECT_NE(shownPicture(label).size(), QSize(4, 4)) << "the marker was replaced";
    EXPECT_FALSE(p.isDecoding());
    p.closeFile();
}

TEST(PreviewerFailures, AFileThatCannotBeOpenedLeavesItClosed) {
    TempDir dir;
    writeFile(dir.file("noise.mp4"), std::string(4096, '\x5a'));
    const std::string cut = cutClip(clockClip(), 0.02);
    for (const std::string& file : {dir.file("missing.mp4"), dir.file("noise.mp4")}) {
        QLabel label;
        previewer p(&label);
        p.openFile(QString::fromStdString(file));
        EXPECT_FALSE(p.isOpen()) << file;
    }
    // A recording cut before its index either opens or not; it must not fault either way.
    QLabel label;
    previewer p(&label);
    p.openFile(QString::fromStdString(cut));
    if (p.isOpen()) {
        p.start();
        EXPECT_TRUE(p.wait(30000));
        p.closeFile();
    }
}

// The window closes the previewer whenever the selection changes, also while it decodes.
TEST(PreviewerClose, ClosingDuringADecodeWaitsForItThenShowsTheDefaultPicture) {
    ClipSettings big = clockClip(AudioCodec::Aac);
    big.width = 1280;
    big.height = 720;
    const std::string file = clip(big);
    QLabel label;
    previewer p(&label);
    for (int round = 0; round < 24; ++round) {
        p.setPosition(0);
        p.openFile(QString::fromStdString(file));
        ASSERT_TRUE(p.isOpen());
        p.setPosition(static_cast<float>(round % 4));
        p.start();
        if (round % 3) std::this_thread::sleep_for(std::chrono::microseconds(300 * (round % 7)));
        p.closeFile();
        EXPECT_FALSE(p.isOpen());
        EXPECT_FALSE(p.isRunning());
        EXPECT_FALSE(p.isDecoding());
        label.setPixmap(marker());
        QCoreApplication::processEvents();
        EXPECT_NE(label.pixmap(Qt::ReturnByValue).size(), QSize(4, 4)) << "default picture after the close, round " << round;
    }
    const QImage after = previewAt(p, label, file, 1);
    EXPECT_EQ(after.size(), QSize(180, 122)) << "usable again after the closes";
    p.closeFile();
}

TEST(PreviewerClose, ReopeningOrDestroyingDuringADecodeIsSafe) {
    const std::string file = clip(clockClip());
    QLabel label;
    for (int round = 0; round < 8; ++round) {
        auto* p = new previewer(&label);
        p->openFile(QString::fromStdString(file));
        p->setPosition(2);
        p->start();
        p->openFile(QString::fromStdString(file));
        EXPECT_TRUE(p->isOpen());
        p->start();
        delete p;
    }
    QCoreApplication::processEvents();
}

}  // namespace
