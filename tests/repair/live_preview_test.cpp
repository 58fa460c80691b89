#include "repair/live_preview.h"

#include <gtest/gtest.h>

#include <QImage>

#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "mp4/nal_header.h"
#include "tests/repair/preview_pictures.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

using namespace testsupport;
using namespace std::chrono_literals;

namespace {

enum class Codec { H264, H265 };

struct StreamLayout {
    Codec codec;
    int width;
    int height;
    int frames;
    // A delimiter before every picture and no B-frames, or neither (the encoders' defaults).
    bool delimited = true;
    // A key picture every this many frames exactly; 0 for the encoder's default (one at the start
    // of these short streams).
    int keyint = 0;
    // H.264 only: the key pictures after the first are I pictures, not IDR pictures. (x265 writes
    // CRA pictures, open ones, by default.)
    bool openGop = false;
    bool operator<(const StreamLayout& o) const {
        return std::tie(codec, width, height, frames, delimited, keyint, openGop) <
               std::tie(o.codec, o.width, o.height, o.frames, o.delimited, o.keyint, o.openGop);
    }
};

// The encoder's own options for `layout`, as one -x264-params / -x265-params text.
std::string encoderParams(const StreamLayout& layout) {
    std::vector<std::string> params;
    if (layout.codec == Codec::H265) params.push_back("log-level=error");
    if (layout.delimited) params.insert(params.end(), {"aud=1", "bframes=0"});
    if (layout.keyint > 0) {
        const std::string k = std::to_string(layout.keyint);
        params.insert(params.end(), {"keyint=" + k, "min-keyint=" + k, "scenecut=0"});
    }
    if (layout.openGop) params.push_back("open-gop=1");
    if (params.empty()) params.push_back("bframes=3");
    std::string text;
    for (const std::string& p : params) text += (text.empty() ? "" : ":") + p;
    return text;
}

// An Annex B elementary stream, made once per layout.
const std::string& elementaryStream(const StreamLayout& layout) {
    static std::map<StreamLayout, std::string> made;
    static TempDir dir;
    auto found = made.find(layout);
    if (found != made.end()) return found->second;
    const bool hevc = layout.codec == Codec::H265;
    const std::string out = dir.file("s" + std::to_string(made.size()) + (hevc ? ".hevc" : ".h264"));
    const ProcessResult r = runProcess(
        {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
         "testsrc2=size=" + std::to_string(layout.width) + "x" + std::to_string(layout.height) + ":rate=25",
         "-frames:v", std::to_string(layout.frames), "-pix_fmt", "yuv420p", "-c:v", hevc ? "libx265" : "libx264",
         "-preset", "veryfast", hevc ? "-x265-params" : "-x264-params", encoderParams(layout), "-f",
         hevc ? "hevc" : "h264", out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return made[layout] = readFile(out);
}

struct Nal {
    std::string bytes;  // without its start code
    int type;
};

// The units of an Annex B stream, split at every 00 00 01.
std::vector<Nal> units(const std::string& stream, Codec codec) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= stream.size(); ++i)
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) starts.push_back(i + 3);
    std::vector<Nal> out;
    for (size_t k = 0; k < starts.size(); ++k) {
        size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : stream.size();
        while (end > starts[k] && stream[end - 1] == 0) --end;  // the next start code's leading zero
        Nal nal;
        nal.bytes = stream.substr(starts[k], end - starts[k]);
        const auto h = static_cast<unsigned char>(nal.bytes.empty() ? 0 : nal.bytes[0]);
        nal.type = mp4::nalTypeOf(h, codec == Codec::H265);
        out.push_back(nal);
    }
    return out;
}

bool isParameterSet(const Nal& n, Codec codec) {
    return codec == Codec::H265 ? (n.type >= 32 && n.type <= 34) : (n.type == 7 || n.type == 8);
}

const auto* bytesOf(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// The parameter sets as the reference description carries them: start code + upper-case hex.
std::string headerHex(const std::vector<Nal>& nals, Codec codec) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (const Nal& n : nals) {
        if (!isParameterSet(n, codec)) continue;
        hex += "00000001";
        for (unsigned char c : n.bytes) {
            hex += digits[c >> 4];
            hex += digits[c & 15];
        }
    }
    return hex;
}

// How units are fed: as fast as the scan takes them, or waiting after each until the decoding
// thread is done, so that it is free for every picture (the pace of a scan slower than it).
enum class Pace { AsTheScanTakes, WaitingForTheDecoder };

// Feeds units as the scan does: type-1 units (of either codec) through the slice preview, the
// others with their type. `split` puts the second half of each unit in the extra bytes, as for a
// unit that runs past the scan's buffer.
void feed(livePreview& preview, const std::vector<Nal>& nals, Pace pace, bool split = false) {
    for (const Nal& n : nals) {
        const size_t head = split ? n.bytes.size() / 2 : n.bytes.size();
        const std::uint8_t* extra = split ? bytesOf(n.bytes) + head : nullptr;
        const size_t extraLength = n.bytes.size() - head;
        if (n.type == 1)
            preview.queueSlicePreview(bytesOf(n.bytes), head, extra, extraLength);
        else
            preview.queuePreviewPacket(bytesOf(n.bytes), head, extra, extraLength, n.type);
        if (pace == Pace::WaitingForTheDecoder) preview.finishPictures();
    }
}

// A clock on which the picking interval has always passed by the next reading.
livePreview::Clock everReadyClock() {
    auto now = std::make_shared<std::chrono::steady_clock::time_point>();
    return [now] { return *now += 1s; };
}

// What the preview hands out, in order.
struct Received {
    std::vector<QImage> pictures;
    livePreview::PictureSink sink() {
        return [this](const QImage& picture) { pictures.push_back(picture); };
    }
};

// A preview with its decoder open and the stream's parameter sets as the decode test, as the
// engine sets it up for a run.
void setUp(livePreview& p, const std::vector<Nal>& nals, Codec codec) {
    p.flushPreviewPackets();
    EXPECT_TRUE(p.decodeTestPacket(headerHex(nals, codec)));
    ASSERT_EQ(p.openVideoDecoder(codec == Codec::H265), 0);
    ASSERT_TRUE(p.decoderOpen());
}

// The units of `nals` up to the first key slice: the stream's first picture, not yet ended.
std::vector<Nal> upToTheFirstKeySlice(const std::vector<Nal>& nals) {
    std::vector<Nal> out;
    for (const Nal& n : nals) {
        out.push_back(n);
        if (n.type == 5) break;
    }
    return out;
}

// --- what is picked and copied (made-up units: what the decoder makes of them does not matter) ---

// H.264 units, from the NAL header on. Slice headers: first_mb_in_slice 0 is the bit 1, so
// 0x88 starts a picture with slice type 7 (I) and 0x9A with slice type 5 (P); 0x40 continues one.
const std::string kSps = "\x67\x64\x11\x1F";
const std::string kPps = "\x68\xEE\x3C\x80";
const std::string kAud = "\x09\x10";
const std::string kSei = "\x06\x05\x01\x02";
const std::string kIdrFirst = "\x65\x88\x84\x21\x33\xFF";
const std::string kIdrNext = "\x65\x40\x84\x21\x33\xFF";
const std::string kIFirst = "\x41\x88\x84\x21\x33\xFF";
const std::string kPFirst = "\x41\x9A\x02\x03\x04";
const std::string kPNext = "\x41\x40\x02\x03\x04";
// H.265: IDR_W_RADL (19), CRA (21), TRAIL_R (1); the third byte's top bit starts a picture.
const std::string kHevcIdrFirst = "\x26\x01\xAF\x09\x40";
const std::string kHevcCraFirst = "\x2A\x01\xAF\x09\x40";
const std::string kHevcIdrNext = "\x26\x01\x2F\x09\x40";
const std::string kHevcTrailFirst = "\x02\x01\xD0\x09\x40";

Nal unit(const std::string& bytes, Codec codec) { return units(std::string("\0\0\1", 3) + bytes, codec).front(); }

// Bytes a unit takes in a picture: its start code and itself.
size_t held(const std::string& bytes) { return 4 + bytes.size(); }

struct PickCase {
    const char* name;
    Codec codec;
    std::vector<std::string> units;
    int handedOver;       // pictures handed to the decoding thread
    bool pictureOpen;     // one is still being picked at the end
    size_t queuedBytes;   // what the scan's side holds at the end (no decode test here)
};

void PrintTo(const PickCase& c, std::ostream* os) { *os << c.name; }

class LivePreviewPicking : public ::testing::TestWithParam<PickCase> {};

TEST_P(LivePreviewPicking, KeepsOnlyParameterSetsAndPicturesThatDecodeOnTheirOwn) {
    const PickCase& c = GetParam();
    livePreview p({}, everReadyClock());
    ASSERT_EQ(p.openVideoDecoder(c.codec == Codec::H265), 0);
    std::vector<Nal> nals;
    for (const std::string& bytes : c.units) nals.push_back(unit(bytes, c.codec));
    feed(p, nals, Pace::WaitingForTheDecoder);
    EXPECT_EQ(p.picturesHandedOver(), c.handedOver);
    EXPECT_EQ(p.pictureOpen(), c.pictureOpen);
    EXPECT_EQ(p.queuedBytes(), c.queuedBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Units, LivePreviewPicking,
    ::testing::Values(
        PickCase{"idr_picture_with_its_slices", Codec::H264, {kAud, kSps, kPps, kSei, kIdrFirst, kIdrNext, kIdrNext},
                 0, true, held(kSps) + held(kPps) + held(kSps) + held(kPps) + 3 * held(kIdrFirst)},
        PickCase{"a_delimiter_hands_the_picture_over", Codec::H264, {kSps, kPps, kIdrFirst, kIdrNext, kAud}, 1, false,
                 held(kSps) + held(kPps)},
        PickCase{"the_next_picture_hands_it_over", Codec::H264, {kIdrFirst, kPFirst}, 1, false, 0},
        PickCase{"an_sei_does_not_end_it", Codec::H264, {kIdrFirst, kSei, kIdrNext}, 0, true,
                 2 * held(kIdrFirst)},
        PickCase{"p_pictures_are_not_copied", Codec::H264, {kAud, kPFirst, kPNext, kPNext, kAud, kPFirst}, 0, false, 0},
        PickCase{"an_i_picture_is_picked", Codec::H264, {kAud, kIFirst, kAud}, 1, false, 0},
        PickCase{"a_slice_cut_from_its_picture_is_not_picked", Codec::H264, {kIdrNext, kIdrNext}, 0, false, 0},
        PickCase{"the_stream_sets_before_the_last_picture_are_kept", Codec::H264,
                 {kSps, kPps, kPFirst, kSps, kPFirst}, 0, false, held(kSps)},
        PickCase{"hevc_idr_picture", Codec::H265, {kHevcIdrFirst, kHevcIdrNext}, 0, true, 2 * held(kHevcIdrFirst)},
        PickCase{"hevc_cra_picture", Codec::H265, {kHevcCraFirst, kHevcTrailFirst}, 1, false, 0},
        PickCase{"hevc_trailing_pictures_are_not_copied", Codec::H265, {kHevcTrailFirst, kHevcTrailFirst}, 0, false,
                 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LivePreviewPace, PicksAPictureAtMostOncePerInterval) {
    std::chrono::steady_clock::time_point now{};
    livePreview p({}, [&now] { return now; });
    p.openVideoDecoder(false);
    // Key pictures 100 ms apart: those at 0, 300 and 600 ms are picked.
    for (int picture = 0; picture < 7; ++picture) {
        feed(p, {unit(kAud, Codec::H264), unit(kIdrFirst, Codec::H264), unit(kAud, Codec::H264)},
             Pace::WaitingForTheDecoder);
        now += 100ms;
    }
    EXPECT_EQ(p.picturesHandedOver(), 3);
    p.flushPreviewPackets();
    feed(p, {unit(kIdrFirst, Codec::H264)}, Pace::WaitingForTheDecoder);
    EXPECT_TRUE(p.pictureOpen()) << "a new run picks its first picture at once";
}

TEST(LivePreviewQueue, UnitsCarryStartCodePayloadAndExtraBytes) {
    livePreview p;
    p.openVideoDecoder(false);
    const std::uint8_t extra[] = {1, 2, 3};
    p.queuePreviewPacket(bytesOf(kSps), kSps.size(), extra, sizeof extra, 7);
    EXPECT_EQ(p.queuedBytes(), 4u + kSps.size() + sizeof extra);
    p.queuePreviewPacket(bytesOf(kPps), kPps.size(), nullptr, 7, 8);
    EXPECT_EQ(p.queuedBytes(), 2 * 4u + kSps.size() + kPps.size() + sizeof extra) << "no extra bytes without a pointer";
}

TEST(LivePreviewQueue, AUnitWhoseHeaderLiesInTheExtraBytesIsStillKnown) {
    livePreview p({}, everReadyClock());
    p.openVideoDecoder(false);
    p.queuePreviewPacket(bytesOf(kIdrFirst), 1, bytesOf(kIdrFirst) + 1, kIdrFirst.size() - 1, 5);
    EXPECT_TRUE(p.pictureOpen());
    EXPECT_EQ(p.queuedBytes(), held(kIdrFirst));
}

TEST(LivePreviewQueue, TheDecodeTestIsKeptAndAnInvalidOneRefused) {
    livePreview p;
    EXPECT_TRUE(p.decodeTestPacket("0000000167640028" "0000000168EE3C80"));
    EXPECT_EQ(p.queuedBytes(), 16u) << "the text carries its own start codes";
    p.flushPreviewPackets();
    for (const char* text : {"0000000", "0000000167g4", "00 00"}) {
        EXPECT_FALSE(p.decodeTestPacket(text)) << text;
        EXPECT_EQ(p.queuedBytes(), 0u) << text;
    }
}

// Nothing else ends a picture of slices without a delimiter or a next picture (a stream of one
// endless picture, say): the one picture picked stays within its bounds.
TEST(LivePreviewQueue, APictureBeyondItsBoundsIsDroppedWhole) {
    struct Case {
        const char* what;
        size_t sliceSize;
        size_t slices;
    };
    for (const Case& c : {Case{"many small slices", 100, livePreview::kMaxQueuedPackets + 10},
                          Case{"few large slices", 3u << 20, 40}}) {
        livePreview p({}, everReadyClock());
        p.openVideoDecoder(false);
        std::string slice = kIdrNext;
        slice.resize(c.sliceSize, '\x55');
        p.queuePreviewPacket(bytesOf(kIdrFirst), kIdrFirst.size(), nullptr, 0, 5);
        size_t mostPackets = 0;
        size_t mostBytes = 0;
        for (size_t i = 0; i < c.slices; ++i) {
            p.queuePreviewPacket(bytesOf(slice), slice.size(), nullptr, 0, 5);
            mostPackets = std::max(mostPackets, p.queuedPackets());
            mostBytes = std::max(mostBytes, p.queuedBytes());
        }
        EXPECT_LE(mostPackets, livePreview::kMaxQueuedPackets) << c.what;
        EXPECT_LE(mostBytes, livePreview::kMaxQueuedBytes) << c.what;
        EXPECT_FALSE(p.pictureOpen()) << c.what;
        p.queuePreviewPacket(bytesOf(kAud), kAud.size(), nullptr, 0, 9);
        EXPECT_EQ(p.picturesHandedOver(), 0) << c.what << ": no part of a picture is decoded";
    }
}

TEST(LivePreviewQueue, ASliceLargerThanTheByteBoundIsNotKept) {
    livePreview p({}, everReadyClock());
    p.openVideoDecoder(false);
    std::string huge = kIdrFirst;
    huge.resize(livePreview::kMaxQueuedBytes + 1, '\x55');
    p.queuePreviewPacket(bytesOf(huge), huge.size(), nullptr, 0, 5);
    EXPECT_FALSE(p.pictureOpen());
    const size_t half = livePreview::kMaxQueuedBytes / 2;
    p.queuePreviewPacket(bytesOf(huge), half, bytesOf(huge) + half, half, 5);
    EXPECT_FALSE(p.pictureOpen()) << "payload and extra bytes together";
    EXPECT_EQ(p.queuedBytes(), 0u);
}

TEST(LivePreviewQueue, WithoutAnOpenDecoderNothingIsCopied) {
    livePreview p({}, everReadyClock());
    feed(p, {unit(kSps, Codec::H264), unit(kIdrFirst, Codec::H264), unit(kAud, Codec::H264)}, Pace::AsTheScanTakes);
    EXPECT_EQ(p.queuedBytes(), 0u);
    EXPECT_EQ(p.picturesHandedOver(), 0);
    p.openVideoDecoder(false);
    p.closeVideoDecoder();
    EXPECT_FALSE(p.decoderOpen());
    feed(p, {unit(kIdrFirst, Codec::H264), unit(kAud, Codec::H264)}, Pace::AsTheScanTakes);
    EXPECT_EQ(p.picturesHandedOver(), 0) << "closed again";
}

// --- decoding real streams ---

struct DecodeCase {
    const char* name;
    StreamLayout layout;
    bool split;
    std::vector<int> keyFrames;  // display positions of the pictures that decode on their own
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class LivePreviewDecode : public ::testing::TestWithParam<DecodeCase> {};

// The decoding thread shows every key picture it is free for, each as the frame it is.
TEST_P(LivePreviewDecode, ShowsEachKeyPictureStampedAsTheToolDecodesIt) {
    const DecodeCase& c = GetParam();
    const std::string& stream = elementaryStream(c.layout);
    const std::vector<Nal> nals = units(stream, c.layout.codec);
    TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("stream"), stream));
    const std::vector<QImage> frames = previewpictures::toolFrames(
        {"-f", c.layout.codec == Codec::H264 ? "h264" : "hevc", "-i", dir.file("stream")}, c.layout.width,
        c.layout.height);
    ASSERT_EQ(frames.size(), static_cast<size_t>(c.layout.frames));

    Received received;
    livePreview p(received.sink(), everReadyClock());
    setUp(p, nals, c.layout.codec);
    feed(p, nals, Pace::WaitingForTheDecoder, c.split);
    p.closeVideoDecoder();
    ASSERT_EQ(received.pictures.size(), c.keyFrames.size());
    EXPECT_EQ(p.picturesShown(), static_cast<int>(c.keyFrames.size()));
    for (size_t k = 0; k < c.keyFrames.size(); ++k) {
        const QImage& shown = received.pictures[k];
        ASSERT_EQ(shown.size(), QSize(180, 122));
        EXPECT_GT(previewpictures::whitePixelsInTextBox(shown), 10) << "the \"Repair...\" text in its box";
        const QImage picture = shown.convertToFormat(QImage::Format_RGB888);
        EXPECT_LT(previewpictures::meanDifference(picture, frames[size_t(c.keyFrames[k])]), 4.0)
            << "picture " << k << " is frame " << c.keyFrames[k];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, LivePreviewDecode,
    ::testing::Values(
        DecodeCase{"h264_idr", {Codec::H264, 160, 120, 12, true, 4}, false, {0, 4, 8}},
        DecodeCase{"h264_idr_extra", {Codec::H264, 160, 120, 12, true, 4}, true, {0, 4, 8}},
        // Open pictures: the key pictures after the first are I pictures behind their B-frames.
        DecodeCase{"h264_i_pictures", {Codec::H264, 160, 120, 12, false, 4, true}, false, {0, 4, 8}},
        // Reordered pictures: each key picture shows when it is decoded, not when a later one
        // pushes it out of the decoder.
        DecodeCase{"h264_b_frames", {Codec::H264, 160, 120, 12, false, 6}, false, {0, 6}},
        DecodeCase{"h265_irap", {Codec::H265, 160, 120, 12, true, 4}, false, {0, 4, 8}},
        DecodeCase{"h265_b_frames", {Codec::H265, 160, 120, 12, false, 6}, false, {0, 6}}),
    [](const auto& info) { return std::string(info.param.name); });

// A damaged file's media data carries no parameter sets: only the decode test of the
// reference's header text gets them to the decoder.
TEST(LivePreviewDecodeEdges, TheDecodeTestLetsThePicturesDecode) {
    for (const Codec codec : {Codec::H264, Codec::H265}) {
        for (const bool decodeTest : {true, false}) {
            SCOPED_TRACE(std::string(codec == Codec::H264 ? "h264" : "h265") + (decodeTest ? "" : " without"));
            const std::vector<Nal> nals = units(elementaryStream({codec, 160, 120, 12, true, 4}), codec);
            std::vector<Nal> media;
            for (const Nal& n : nals)
                if (!isParameterSet(n, codec)) media.push_back(n);
            ASSERT_LT(media.size(), nals.size());
            livePreview p([](const QImage&) {}, everReadyClock());
            if (decodeTest) {
                EXPECT_TRUE(p.decodeTestPacket(headerHex(nals, codec)));
            }
            p.openVideoDecoder(codec == Codec::H265);
            feed(p, media, Pace::WaitingForTheDecoder);
            p.closeVideoDecoder();
            EXPECT_EQ(p.picturesShown(), decodeTest ? 3 : 0);
        }
    }
}

TEST(LivePreviewDecodeEdges, APictureSizeChangeMidStreamIsShownAtThePreviewSize) {
    const std::vector<Nal> small = units(elementaryStream({Codec::H264, 64, 48, 6, true, 2}), Codec::H264);
    const std::vector<Nal> large = units(elementaryStream({Codec::H264, 192, 144, 6, true, 2}), Codec::H264);
    Received received;
    livePreview p(received.sink(), everReadyClock());
    p.openVideoDecoder(false);
    feed(p, small, Pace::WaitingForTheDecoder);
    const int before = p.picturesShown();
    EXPECT_EQ(before, 3);
    feed(p, large, Pace::WaitingForTheDecoder);
    p.closeVideoDecoder();
    EXPECT_EQ(p.picturesShown() - before, 3) << "pictures of the larger size still come";
    ASSERT_FALSE(received.pictures.empty());
    EXPECT_EQ(received.pictures.back().size(), QSize(180, 122));
}

TEST(LivePreviewDecodeEdges, GarbageDoesNotStopLaterPictures) {
    const std::vector<Nal> nals = units(elementaryStream({Codec::H264, 160, 120, 12, true, 4}), Codec::H264);
    livePreview p([](const QImage&) {}, everReadyClock());
    setUp(p, nals, Codec::H264);
    std::string noise(5000, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919u + 13u) % 251u);
    noise[0] = 0x65;
    noise[1] = static_cast<char>(0x88);
    for (int i = 0; i < 5; ++i)
        feed(p, {unit(kAud, Codec::H264), Nal{noise, 5}}, Pace::WaitingForTheDecoder);
    EXPECT_EQ(p.picturesHandedOver(), 4) << "the last is still being picked";
    feed(p, nals, Pace::WaitingForTheDecoder);
    p.closeVideoDecoder();
    EXPECT_GE(p.picturesShown(), 3);
}

TEST(LivePreviewDecodeEdges, WithoutASinkPicturesAreDecodedButNotHanded) {
    const std::vector<Nal> nals = units(elementaryStream({Codec::H264, 160, 120, 12, true, 4}), Codec::H264);
    livePreview p({}, everReadyClock());
    setUp(p, nals, Codec::H264);
    feed(p, nals, Pace::WaitingForTheDecoder);
    p.closeVideoDecoder();
    EXPECT_EQ(p.picturesShown(), 0);
    EXPECT_EQ(p.picturesHandedOver(), 3);
}

// The last picture picked is what the repair ended on: closing shows it, then ends the thread.
TEST(LivePreviewDecodeEdges, ClosingShowsThePicturePickedLast) {
    const std::vector<Nal> nals = units(elementaryStream({Codec::H264, 160, 120, 12, true, 4}), Codec::H264);
    livePreview p([](const QImage&) {}, everReadyClock());
    setUp(p, nals, Codec::H264);
    feed(p, upToTheFirstKeySlice(nals), Pace::AsTheScanTakes);
    EXPECT_TRUE(p.pictureOpen());
    p.closeVideoDecoder();
    EXPECT_EQ(p.picturesShown(), 1);
    EXPECT_FALSE(p.decodingThreadRunning());
}

// A receiver that takes its time (or a decoder slower than the scan) never holds the scan: the
// pictures that come while the decoding thread is busy are passed over without being copied.
TEST(LivePreviewDecodeEdges, TheScanNeverWaitsForABusyDecodingThread) {
    const std::vector<Nal> nals = units(elementaryStream({Codec::H264, 160, 120, 12, true, 4}), Codec::H264);
    std::promise<void> released;
    std::shared_future<void> release = released.get_future().share();
    std::promise<void> entered;
    int pictures = 0;
    bool timedOut = false;
    livePreview p(
        [&](const QImage&) {
            if (++pictures > 1) return;
            entered.set_value();
            timedOut = release.wait_for(30s) == std::future_status::timeout;
        },
        everReadyClock());
    setUp(p, nals, Codec::H264);
    feed(p, upToTheFirstKeySlice(nals), Pace::AsTheScanTakes);
    p.showRepairPreview();
    entered.get_future().wait();  // the decoding thread is held in the receiver from here

    size_t mostHeld = 0;
    for (int pass = 0; pass < 20; ++pass)
        for (const Nal& n : nals) {
            feed(p, {n}, Pace::AsTheScanTakes);
            mostHeld = std::max(mostHeld, p.queuedBytes());
        }
    EXPECT_EQ(p.picturesHandedOver(), 1) << "nothing else was picked while the thread was busy";
    // The decode test's sets and the stream's own.
    const size_t setBytes = headerHex(nals, Codec::H264).size() / 2;
    EXPECT_LE(mostHeld, 2 * setBytes) << "only the parameter sets were copied";
    released.set_value();
    p.closeVideoDecoder();
    EXPECT_FALSE(timedOut) << "the feeding finished while the receiver was held";
    EXPECT_EQ(pictures, 1);
}

}  // namespace
