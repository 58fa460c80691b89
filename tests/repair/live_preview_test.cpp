#include "repair/live_preview.h"

#include <gtest/gtest.h>

#include <QImage>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/repair/preview_pictures.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

using namespace testsupport;

namespace {

enum class Codec { H264, H265 };

struct StreamLayout {
    Codec codec;
    int width;
    int height;
    int frames;
    // A delimiter before every picture and no B-frames, or neither (x264's own defaults).
    bool delimited = true;
    bool operator<(const StreamLayout& o) const {
        return std::tie(codec, width, height, frames, delimited) <
               std::tie(o.codec, o.width, o.height, o.frames, o.delimited);
    }
};

// An Annex B elementary stream, made once per layout.
const std::string& elementaryStream(const StreamLayout& layout) {
    static std::map<StreamLayout, std::string> made;
    static TempDir dir;
    auto found = made.find(layout);
    if (found != made.end()) return found->second;
    const bool hevc = layout.codec == Codec::H265;
    const std::string out = dir.file("s" + std::to_string(made.size()) + (hevc ? ".hevc" : ".h264"));
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "lavfi", "-i",
                                     "testsrc2=size=" + std::to_string(layout.width) + "x" + std::to_string(layout.height) +
                                         ":rate=25",
                                     "-frames:v", std::to_string(layout.frames), "-pix_fmt", "yuv420p"};
    if (hevc)
        argv.insert(argv.end(), {"-c:v", "libx265", "-preset", "veryfast", "-x265-params",
                                 layout.delimited ? "log-level=error:aud=1:bframes=0" : "log-level=error", "-f", "hevc",
                                 out});
    else if (layout.delimited)
        argv.insert(argv.end(), {"-c:v", "libx264", "-preset", "veryfast", "-bf", "0", "-x264-params", "aud=1", "-f",
                                 "h264", out});
    else
        argv.insert(argv.end(), {"-c:v", "libx264", "-preset", "veryfast", "-f", "h264", out});
    const ProcessResult r = runProcess(argv);
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
        nal.type = codec == Codec::H265 ? (h >> 1) & 0x3F : h & 0x1F;
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

// Feeds units as the scan does: delimiters and other units with their type, type-1 units (of
// either codec) through the slice preview. `split` puts the second half of each unit in the extra
// bytes, as for a unit that runs past the scan's buffer.
void feed(livePreview& preview, const std::vector<Nal>& nals, Codec codec, bool split = false) {
    for (const Nal& n : nals) {
        const size_t head = split ? n.bytes.size() / 2 : n.bytes.size();
        const std::uint8_t* extra = split ? bytesOf(n.bytes) + head : nullptr;
        const size_t extraLength = n.bytes.size() - head;
        if (n.type == 1)
            preview.queueSlicePreview(bytesOf(n.bytes), head, extra, extraLength);
        else
            preview.queuePreviewPacket(bytesOf(n.bytes), head, extra, extraLength,
                                       codec == Codec::H264 && n.type == 9 ? 9 : n.type);
    }
}

const std::uint8_t kAud[] = {0x09, 0x10};
const std::uint8_t kSlice[] = {0x41, 0x9A, 0x02, 0x03, 0x04};

void delimiter(livePreview& p) { p.queuePreviewPacket(kAud, sizeof kAud, nullptr, 0, 9); }
void slice(livePreview& p) { p.queueSlicePreview(kSlice, sizeof kSlice, nullptr, 0); }

// What the preview hands out, in order.
struct Received {
    std::vector<QImage> pictures;
    livePreview::PictureSink sink() {
        return [this](const QImage& picture) { pictures.push_back(picture); };
    }
};

// --- queue rules (no decoder needed: a decode hands the queue over and empties it) ---

TEST(LivePreviewQueue, ASecondDelimiterAfterAnOpenPictureIsAppended) {
    livePreview p;
    delimiter(p);
    delimiter(p);
    EXPECT_EQ(p.queuedPackets(), 2u);
    EXPECT_EQ(p.decodeRuns(), 0);
    EXPECT_TRUE(p.pictureOpen());
}

TEST(LivePreviewQueue, ADelimiterAfterAPictureDecodesItAndOpensTheNext) {
    livePreview p;
    delimiter(p);
    const std::uint8_t sei[] = {0x06, 0x05, 0x01};
    p.queuePreviewPacket(sei, sizeof sei, nullptr, 0, 6);
    slice(p);
    EXPECT_EQ(p.queuedPackets(), 3u);
    delimiter(p);
    EXPECT_EQ(p.decodeRuns(), 1);
    EXPECT_EQ(p.queuedPackets(), 1u) << "only the new delimiter";
    EXPECT_TRUE(p.pictureOpen());
}

TEST(LivePreviewQueue, SlicesInAnOpenPictureAreDecodedAtFiftyOnePackets) {
    livePreview p;
    delimiter(p);
    for (int i = 0; i < 49; ++i) slice(p);
    EXPECT_EQ(p.queuedPackets(), 50u);
    EXPECT_EQ(p.decodeRuns(), 0);
    slice(p);
    EXPECT_EQ(p.decodeRuns(), 1) << "the 51st packet";
    EXPECT_EQ(p.queuedPackets(), 0u);
    EXPECT_FALSE(p.pictureOpen());
    for (int i = 0; i < 10; ++i) slice(p);
    EXPECT_EQ(p.decodeRuns(), 11) << "without an open picture every slice is decoded at once";
}

TEST(LivePreviewQueue, ASliceOutsideAPictureIsDecodedWithWhatCameBefore) {
    livePreview p;
    EXPECT_EQ(p.decodeTestPacket("0000000167640028" "0000000168EE3C80"), 1);
    EXPECT_EQ(p.queuedBytes(), 16u) << "the text carries its own start codes";
    slice(p);
    EXPECT_EQ(p.decodeRuns(), 1);
    EXPECT_EQ(p.queuedPackets(), 0u);
}

TEST(LivePreviewQueue, PacketsCarryStartCodePayloadAndExtraBytes) {
    livePreview p;
    const std::uint8_t extra[] = {1, 2, 3};
    p.queuePreviewPacket(kSlice, sizeof kSlice, extra, sizeof extra, 6);
    EXPECT_EQ(p.queuedBytes(), 4u + sizeof kSlice + sizeof extra);
    p.queuePreviewPacket(kSlice, sizeof kSlice, nullptr, 7, 6);
    EXPECT_EQ(p.queuedBytes(), 2 * (4u + sizeof kSlice) + sizeof extra) << "no extra bytes without a pointer";
}

TEST(LivePreviewQueue, AnInvalidHeaderTextIsRefusedAndQueuesNothing) {
    livePreview p;
    for (const char* text : {"0000000", "0000000167g4", "00 00"}) {
        EXPECT_THROW(p.decodeTestPacket(text), std::invalid_argument) << text;
        EXPECT_EQ(p.queuedPackets(), 0u) << text;
    }
}

// Without delimiters (an all-intra stream, say) nothing else would ever empty the queue.
TEST(LivePreviewQueue, StaysWithinItsCountAndByteBounds) {
    struct Case {
        const char* what;
        size_t packetSize;
        int packets;
    };
    for (const Case& c : {Case{"many small", 100, 2000}, Case{"few large", 3u << 20, 40}}) {
        livePreview p;
        const std::vector<std::uint8_t> payload(c.packetSize, 0x65);
        size_t mostPackets = 0;
        size_t mostBytes = 0;
        for (int i = 0; i < c.packets; ++i) {
            p.queuePreviewPacket(payload.data(), payload.size(), nullptr, 0, 5);
            mostPackets = std::max(mostPackets, p.queuedPackets());
            mostBytes = std::max(mostBytes, p.queuedBytes());
        }
        EXPECT_LE(mostPackets, livePreview::kMaxQueuedPackets) << c.what;
        EXPECT_LE(mostBytes, livePreview::kMaxQueuedBytes) << c.what;
        EXPECT_GT(p.decodeRuns(), 0) << c.what;
    }
}

TEST(LivePreviewQueue, APacketLargerThanTheByteBoundIsNotKept) {
    livePreview p;
    const std::vector<std::uint8_t> huge(livePreview::kMaxQueuedBytes + 1, 0x65);
    p.queuePreviewPacket(huge.data(), huge.size(), nullptr, 0, 5);
    EXPECT_EQ(p.queuedPackets(), 0u);
    const std::vector<std::uint8_t> half(livePreview::kMaxQueuedBytes / 2, 0x65);
    p.queuePreviewPacket(half.data(), half.size(), half.data(), half.size(), 5);
    EXPECT_EQ(p.queuedPackets(), 0u) << "payload and extra bytes together";
}

// --- decoding real streams ---

struct DecodeCase {
    const char* name;
    Codec codec;
    bool split;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class LivePreviewDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(LivePreviewDecode, HandsStampedPicturesToTheSink) {
    const DecodeCase& c = GetParam();
    const std::vector<Nal> nals = units(elementaryStream({c.codec, 160, 120, 12}), c.codec);
    ASSERT_GT(nals.size(), 12u);
    Received received;
    livePreview p(received.sink());
    p.flushPreviewPackets();
    p.decodeTestPacket(headerHex(nals, c.codec));
    EXPECT_EQ(p.openVideoDecoder(c.codec == Codec::H265), 0);
    EXPECT_TRUE(p.decoderOpen());
    feed(p, nals, c.codec, c.split);
    EXPECT_GE(p.picturesShown(), 8);
    ASSERT_EQ(received.pictures.size(), static_cast<size_t>(p.picturesShown()));
    const QImage& shown = received.pictures.back();
    ASSERT_EQ(shown.size(), QSize(180, 122));
    int white = 0;
    for (int y = 5; y < 17; ++y)
        for (int x = 110; x < 176; ++x) white += qRed(shown.pixel(x, y)) > 230 && qBlue(shown.pixel(x, y)) > 230;
    EXPECT_GT(white, 10) << "the \"Repair...\" text in its box";
}

INSTANTIATE_TEST_SUITE_P(Codecs, LivePreviewDecode,
                         ::testing::Values(DecodeCase{"h264", Codec::H264, false}, DecodeCase{"h265", Codec::H265, false},
                                           DecodeCase{"h264_extra", Codec::H264, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A damaged file's media data carries no parameter sets: only the decode test of the
// reference's header text gets them to the decoder.
struct HeaderCase {
    const char* name;
    Codec codec;
    bool decodeTest;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

class LivePreviewHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(LivePreviewHeader, TheDecodeTestLetsThePicturesDecode) {
    const HeaderCase& c = GetParam();
    const std::vector<Nal> nals = units(elementaryStream({c.codec, 160, 120, 12}), c.codec);
    std::vector<Nal> media;
    for (const Nal& n : nals)
        if (!isParameterSet(n, c.codec)) media.push_back(n);
    ASSERT_LT(media.size(), nals.size());
    Received received;
    livePreview p(received.sink());
    p.flushPreviewPackets();
    if (c.decodeTest) p.decodeTestPacket(headerHex(nals, c.codec));
    p.openVideoDecoder(c.codec == Codec::H265);
    feed(p, media, c.codec);
    if (c.decodeTest)
        EXPECT_GE(p.picturesShown(), 8);
    else
        EXPECT_EQ(p.picturesShown(), 0);
}

INSTANTIATE_TEST_SUITE_P(Codecs, LivePreviewHeader,
                         ::testing::Values(HeaderCase{"h264", Codec::H264, true}, HeaderCase{"h265", Codec::H265, true},
                                           HeaderCase{"h264_no_decode_test", Codec::H264, false},
                                           HeaderCase{"h265_no_decode_test", Codec::H265, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Without delimiters one queue holds several pictures (the key frame and the slice after it,
// B-frames after their reference); each must reach the decoder as a picture of its own, or
// the pictures after it come out smeared.
TEST(LivePreviewDecodeEdges, PicturesOfAStreamWithoutDelimitersMatchTheToolsFrames) {
    for (const Codec codec : {Codec::H264, Codec::H265}) {
        SCOPED_TRACE(codec == Codec::H264 ? "h264" : "h265");
        const StreamLayout layout{codec, 160, 120, 20, false};
        const std::string& stream = elementaryStream(layout);
        TempDir dir;
        ASSERT_TRUE(writeFile(dir.file("stream"), stream));
        const std::vector<QImage> frames = previewpictures::toolFrames(
            {"-f", codec == Codec::H264 ? "h264" : "hevc", "-i", dir.file("stream")}, layout.width, layout.height);
        ASSERT_EQ(frames.size(), 20u);

        Received received;
        livePreview p(received.sink());
        p.openVideoDecoder(codec == Codec::H265);
        for (const Nal& n : units(stream, codec)) feed(p, {n}, codec);
        EXPECT_GE(received.pictures.size(), 5u);
        double worst = 0;
        for (const QImage& picture : received.pictures)
            worst = std::max(worst, previewpictures::closestFrame(picture.convertToFormat(QImage::Format_RGB888), frames));
        EXPECT_LT(worst, 4.0) << "every picture shown is one of the stream's frames";
    }
}

TEST(LivePreviewDecodeEdges, APictureSizeChangeMidStreamIsConvertedAtTheNewSize) {
    const std::vector<Nal> small = units(elementaryStream({Codec::H264, 64, 48, 6}), Codec::H264);
    const std::vector<Nal> large = units(elementaryStream({Codec::H264, 192, 144, 6}), Codec::H264);
    Received received;
    livePreview p(received.sink());
    p.openVideoDecoder(false);
    feed(p, small, Codec::H264);
    const int before = p.picturesShown();
    EXPECT_GT(before, 0);
    feed(p, large, Codec::H264);
    delimiter(p);
    EXPECT_GE(p.picturesShown() - before, 5) << "pictures of the larger size still come";
    ASSERT_FALSE(received.pictures.empty());
    EXPECT_EQ(received.pictures.back().size(), QSize(180, 122));
}

TEST(LivePreviewDecodeEdges, GarbageDoesNotStopLaterPictures) {
    const std::vector<Nal> nals = units(elementaryStream({Codec::H264, 160, 120, 12}), Codec::H264);
    Received received;
    livePreview p(received.sink());
    p.openVideoDecoder(false);
    std::string noise(5000, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919u + 13u) % 251u);
    noise[0] = 0x41;
    for (int i = 0; i < 5; ++i) {
        delimiter(p);
        p.queueSlicePreview(bytesOf(noise), noise.size(), nullptr, 0);
    }
    feed(p, nals, Codec::H264);
    EXPECT_GE(p.picturesShown(), 8);
}

TEST(LivePreviewDecodeEdges, WithoutAnOpenDecoderNothingIsShownAndTheQueueStillEmpties) {
    const std::vector<Nal> nals = units(elementaryStream({Codec::H264, 160, 120, 12}), Codec::H264);
    Received received;
    livePreview p(received.sink());
    feed(p, nals, Codec::H264);
    EXPECT_EQ(p.picturesShown(), 0);
    EXPECT_GT(p.decodeRuns(), 0);
    EXPECT_LE(p.queuedPackets(), 10u);
    p.openVideoDecoder(false);
    p.closeVideoDecoder();
    EXPECT_FALSE(p.decoderOpen());
    feed(p, nals, Codec::H264);
    EXPECT_EQ(p.picturesShown(), 0) << "closed again";
    EXPECT_TRUE(received.pictures.empty());
}

TEST(LivePreviewDecodeEdges, WithoutASinkPicturesAreDecodedButNotHanded) {
    const std::vector<Nal> nals = units(elementaryStream({Codec::H264, 160, 120, 12}), Codec::H264);
    livePreview p;
    p.openVideoDecoder(false);
    feed(p, nals, Codec::H264);
    EXPECT_EQ(p.picturesShown(), 0);
    EXPECT_GT(p.decodeRuns(), 0);
}

}  // namespace
