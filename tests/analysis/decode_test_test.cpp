// The decode test on raw streams made with the ffmpeg tool: good, flat and damaged pictures,
// the H.264 and H.265 refusal rules, and a decoder that does not open.
#include "analysis/decode_test.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>

#include "tests/analysis/annexb_window.h"
#include "tests/support/test_files.h"

namespace {

using testsupport::UnitWindow;

const std::vector<std::string> kX264 = {"-c:v", "libx264", "-preset", "veryfast", "-bf", "0", "-pix_fmt", "yuv420p"};
// All pictures intra, so that each one stands or falls on its own.
const std::vector<std::string> kX265Intra = {"-c:v", "libx265", "-preset", "veryfast", "-pix_fmt", "yuv420p",
                                             "-x265-params", "log-level=error:keyint=1"};

std::string source(const std::string& picture, double seconds) {
    const char* separator = picture.find('=') == std::string::npos ? "=" : ":";
    return picture + separator + "size=1280x720:rate=25:duration=" + std::to_string(seconds);
}

// `grey` flat frames, then moving test pattern.
std::string greyThenPattern(int grey) {
    return "color=c=gray:size=1280x720:rate=25:duration=" + std::to_string(grey * 0.04) +
           "[a];testsrc2=size=1280x720:rate=25:duration=0.4[b];[a][b]concat=n=2:v=1:a=0";
}

UnitWindow windowOf(const std::string& name, const std::string& graph, const std::vector<std::string>& args, bool hevc) {
    const std::string path = testsupport::rawStream(name, graph, args);
    EXPECT_FALSE(path.empty());
    return testsupport::unitWindow(testsupport::readFile(path), hevc);
}

struct Outcome {
    int frames = 0;
    int width = 0;
    int height = 0;
    std::vector<std::string> errors;
};

// One attempt with `test` as the worker makes it: the candidate, then the units.
int attempt(diagDecodeTest& test, const UnitWindow& w, bool hevc, const std::string& candidate = {}) {
    DiagPreset preset;
    preset.isHEVC = hevc;
    preset.units = w.units;
    test.clearPendingPackets();
    EXPECT_TRUE(test.queueHexPacket(candidate.empty() ? w.parameterSets : candidate));
    return test.decodeTest(preset, w.bytes.data(), std::int64_t(w.bytes.size()));
}

Outcome decode(const UnitWindow& w, bool hevc, QLabel* label = nullptr, const std::string& candidate = {}) {
    Outcome run;
    diagDecodeTest test([&](const std::string& m) { run.errors.push_back(m); },
                        [&](int width, int height) { run.width = width, run.height = height; });
    test.setPreviewLabel(label);
    run.frames = attempt(test, w, hevc, candidate);
    return run;
}

TEST(DecodeTest, GoodStreamGivesFramesSizeAndPicture) {
    const UnitWindow w = windowOf("decode-good.h264", source("testsrc2", 1), kX264, false);
    QLabel label;
    const Outcome run = decode(w, false, &label);
    EXPECT_GE(run.frames, 1);
    EXPECT_LE(run.frames, 16);
    EXPECT_EQ(run.width, 1280);
    EXPECT_EQ(run.height, 720);
    EXPECT_TRUE(run.errors.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(label.pixmap(Qt::ReturnByValue).size(), QSize(187, 117));
}

TEST(DecodeTest, FlatPictureIsRefused) {
    const UnitWindow w = windowOf("decode-grey.h264", source("color=c=gray", 0.4), kX264, false);
    const Outcome run = decode(w, false);
    EXPECT_EQ(run.frames, 0);
    EXPECT_EQ(run.width, 1280);  // the size is taken before the flatness test
}

TEST(DecodeTest, DamagedH264SliceEndsTheTest) {
    UnitWindow w = windowOf("decode-good.h264", source("testsrc2", 1), kX264, false);
    // Scramble the middle of the first picture's slice data.
    for (const UnitRecord& u : w.units) {
        if (u.type != 5) continue;
        for (std::int32_t i = u.size / 4; i < u.size / 2; ++i) w.bytes[std::size_t(u.offset + i)] ^= std::uint8_t(0x5A + i);
        break;
    }
    EXPECT_EQ(decode(w, false).frames, 0);
}

TEST(DecodeTest, H265SurvivesTwoRefusedFramesAndEndsAtTheThird) {
    const UnitWindow two = windowOf("decode-grey2.h265", greyThenPattern(2), kX265Intra, true);
    EXPECT_GT(decode(two, true).frames, 0);
    const UnitWindow three = windowOf("decode-grey3.h265", greyThenPattern(3), kX265Intra, true);
    EXPECT_EQ(decode(three, true).frames, 0);
}

TEST(DecodeTest, FewerThanTwoUnitsSendNothing) {
    UnitWindow w = windowOf("decode-good.h264", source("testsrc2", 1), kX264, false);
    w.units.resize(1);
    EXPECT_EQ(decode(w, false).frames, 0);
}

TEST(DecodeTest, InvalidCandidateTextIsRefused) {
    diagDecodeTest test(nullptr, nullptr);
    EXPECT_EQ(test.queueHexPacket("0000000G").reason(), "not a hex digit");
    EXPECT_EQ(test.queueHexPacket("000").reason(), "odd length");
    EXPECT_TRUE(test.queueHexPacket("00000001"));
}

TEST(DecodeTest, DelimitersCollectAnAccessUnit) {
    diagDecodeTest test(nullptr, nullptr);  // no decoder open: decoding only empties the queue
    const std::uint8_t aud[] = {0x09, 0x10};
    const std::uint8_t slice[] = {0x41, 0x9A, 0x00};
    test.sendNonSliceUnit(aud, 2, 9);
    EXPECT_TRUE(test.accessUnitOpen());
    test.sendNonSliceUnit(aud, 2, 9);  // one packet pending: only appended
    EXPECT_EQ(test.pendingCount(), 2u);
    test.sendSliceUnit(slice, 3);
    EXPECT_EQ(test.pendingCount(), 3u);  // inside an access unit slices are collected
    test.sendNonSliceUnit(aud, 2, 9);    // the next delimiter decodes the unit and opens a new one
    EXPECT_EQ(test.pendingCount(), 1u);
    EXPECT_TRUE(test.accessUnitOpen());
    test.clearPendingPackets();
    test.sendSliceUnit(slice, 3);  // outside one every slice is decoded at once
    EXPECT_EQ(test.pendingCount(), 0u);
}

}  // namespace

namespace {

// The verdicts on pictures seen in one attempt serve the next: each attempt still answers as a
// fresh one would, sizes and preview included.
TEST(DecodeTest, LaterAttemptsOverTheSamePicturesAnswerAsTheFirst) {
    const UnitWindow good = windowOf("decode-good.h264", source("testsrc2", 1), kX264, false);
    const UnitWindow grey = windowOf("decode-grey.h264", source("color=c=gray", 0.4), kX264, false);
    const Outcome freshGood = decode(good, false);
    const Outcome freshGrey = decode(grey, false);
    ASSERT_GT(freshGood.frames, 0);

    Outcome run;
    diagDecodeTest test([&](const std::string& m) { run.errors.push_back(m); },
                        [&](int width, int height) { run.width = width, run.height = height; });
    QLabel label;
    test.setPreviewLabel(&label);
    for (const UnitWindow* w : {&good, &grey, &good, &grey}) {
        const bool isGood = w == &good;
        run.width = run.height = 0;
        EXPECT_EQ(attempt(test, *w, false), isGood ? freshGood.frames : freshGrey.frames);
        EXPECT_EQ(run.width, 1280);
        EXPECT_EQ(run.height, 720);
    }
    label.clear();
    EXPECT_EQ(attempt(test, good, false), freshGood.frames);
    QCoreApplication::processEvents();
    EXPECT_EQ(label.pixmap(Qt::ReturnByValue).size(), QSize(187, 117));
    EXPECT_TRUE(run.errors.empty());
}

TEST(DecodeTest, DecoderThatDoesNotOpenReportsAndDecodesNothing) {
    const UnitWindow w = windowOf("decode-good.h264", source("testsrc2", 1), kX264, false);
    std::vector<std::string> errors;
    diagDecodeTest test([&](const std::string& m) { errors.push_back(m); }, nullptr);
    // An encoder without picture settings refuses to open.
    test.setDecoderFinder([](bool) { return avcodec_find_encoder(AV_CODEC_ID_PNG); });
    DiagPreset preset;
    preset.units = w.units;
    EXPECT_TRUE(test.queueHexPacket(w.parameterSets));
    EXPECT_EQ(test.decodeTest(preset, w.bytes.data(), std::int64_t(w.bytes.size())), 0);
    EXPECT_EQ(errors, (std::vector<std::string>{"avcodec_open2 failed"}));

    test.setDecoderFinder([](bool) -> const AVCodec* { return nullptr; });
    EXPECT_EQ(test.decodeTest(preset, w.bytes.data(), std::int64_t(w.bytes.size())), 0);
    EXPECT_EQ(errors.back(), "pCodecContext is null");
}

}  // namespace
