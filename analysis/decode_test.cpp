#include "analysis/decode_test.h"

#include <QImage>

#include <cstring>

#include "media/access_guard.h"
#include "media/annexb_decode.h"
#include "media/frame_picture.h"
#include "media/hex_text.h"
#include "media/picture_seam.h"
#include "mp4/nal_header.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace {

constexpr std::uint8_t kStartCode[4] = {0, 0, 0, 1};
constexpr int kH264Delimiter = 9;
constexpr int kHevcDelimiter = 35;

bool isDelimiter(int type) { return type == kH264Delimiter || type == kHevcDelimiter; }

}  // namespace

diagDecodeTest::diagDecodeTest(ErrorSink error, SizeSink decodedSize)
    : error_(std::move(error)), decodedSize_(std::move(decodedSize)) {}

diagDecodeTest::~diagDecodeTest() { closeDecoder(); }

void diagDecodeTest::openDecoder(bool hevc) {
    context_.reset();
    const AVCodec* codec =
        findDecoder_ ? findDecoder_(hevc) : avcodec_find_decoder(hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    CodecContextPtr context(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!context) {
        if (error_) error_("pCodecContext is null");
        return;
    }
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        // No decoder at all from here on: every later step sees a null context and decodes nothing.
        if (error_) error_("avcodec_open2 failed");
        return;
    }
    context_ = std::move(context);
}

void diagDecodeTest::closeDecoder() {
    clearPendingPackets();
    context_.reset();
}

void diagDecodeTest::clearPendingPackets() {
    pendingPackets_.clear();
    accessUnitOpen_ = false;
}

void diagDecodeTest::append(const std::uint8_t* unit, std::size_t size, bool withStartCode) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size + 4);
    if (withStartCode) bytes.insert(bytes.end(), kStartCode, kStartCode + 4);
    if (unit && size) bytes.insert(bytes.end(), unit, unit + size);
    pendingPackets_.push_back(std::move(bytes));
}

Outcome diagDecodeTest::queueHexPacket(const std::string& text) {
    std::string bytes;
    const Outcome read = hexToBytes(text, bytes);
    if (read) append(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), false);
    return read;
}

void diagDecodeTest::sendNonSliceUnit(const std::uint8_t* unit, std::size_t size, int type) {
    if (isDelimiter(type)) {
        if (accessUnitOpen_ && pendingPackets_.size() == 1) {
            append(unit, size, true);
            return;
        }
        if (accessUnitOpen_) {
            accessUnitOpen_ = false;
            decodePending();
        }
        accessUnitOpen_ = true;
    }
    append(unit, size, true);
}

void diagDecodeTest::sendSliceUnit(const std::uint8_t* unit, std::size_t size) {
    append(unit, size, true);
    if (accessUnitOpen_ && pendingPackets_.size() < kSliceQueueLimit) return;
    decodePending();
}

PictureVerdicts::Verdict diagDecodeTest::lookAt(const AVFrame* frame) {
    PictureVerdicts::Verdict verdict;
    verdict.good = frameToRgbImage(frame, SWS_FAST_BILINEAR, rgb_) && flatness_.reaches(rgb_, kMinPngBytes);
    if (verdict.good) verdict.preview = scaledPicture(rgb_, kPreviewWidth, kPreviewHeight);
    return verdict;
}

bool diagDecodeTest::takePicture(const AVFrame* frame) {
    if (isDamagedFrame(frame)) {
        ++badFrames;
        return false;
    }
    ++goodFrames;
    if (decodedSize_) decodedSize_(frame->width, frame->height);
    PictureVerdicts::Digest digest;
    const bool known = PictureVerdicts::digestOf(frame, digest);
    const PictureVerdicts::Verdict* kept = known ? verdicts_.find(digest) : nullptr;
    PictureVerdicts::Verdict fresh;
    if (!kept) {
        fresh = lookAt(frame);
        kept = known ? &verdicts_.keep(digest, std::move(fresh)) : &fresh;
    }
    if (!kept->good) {
        ++badFrames;  // flat or unreadable
        return false;
    }
    handPicture(previewLabel_, kept->preview);
    return true;
}

void diagDecodeTest::decodePending() {
    runGuarded([this] {
        std::size_t total = 0;
        for (const auto& packet : pendingPackets_) total += packet.size();
        if (context_ && total > 0 && total <= std::size_t(INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE)) {
            PacketPtr joined(av_packet_alloc());
            // av_new_packet zeroes the padding the decoder may read past the end.
            if (joined && av_new_packet(joined.get(), int(total)) == 0) {
                std::uint8_t* out = joined->data;
                for (const auto& packet : pendingPackets_) {
                    std::memcpy(out, packet.data(), packet.size());
                    out += packet.size();
                }
                decodeAnnexB(context_.get(), joined->data, joined->size,
                             [this](const AVFrame* frame) { return takePicture(frame); });
            }
        }
        return true;
    });
    clearPendingPackets();
}

int diagDecodeTest::decodeTest(const DiagPreset& preset, const std::uint8_t* window, std::int64_t windowBytes) {
    openDecoder(preset.isHEVC);
    goodFrames = 0;
    badFrames = 0;
    const std::vector<UnitRecord>& units = preset.units;
    // The last record may be cut off by the end of the window: it is never sent.
    for (std::size_t i = 0; i + 1 < units.size(); ++i) {
        const UnitRecord& unit = units[i];
        if (!window || unit.offset < 0 || unit.size < 0 || unit.offset > windowBytes ||
            unit.size > windowBytes - unit.offset)
            continue;
        const std::uint8_t* bytes = window + unit.offset;
        const std::size_t size = std::size_t(unit.size);
        if (preset.isHEVC) {
            if (unit.type == kHevcDelimiter) sendNonSliceUnit(bytes, size, unit.type);
            else if (!mp4::isParameterSetType(unit.type, true)) sendSliceUnit(bytes, size);
            if (badFrames > 2) {
                goodFrames = 0;
                break;
            }
        } else {
            if (unit.type == 1 || unit.type == 5) sendSliceUnit(bytes, size);
            else sendNonSliceUnit(bytes, size, unit.type);
            if (badFrames > 0) {
                goodFrames = 0;
                break;
            }
        }
        if (goodFrames > 15) break;
    }
    closeDecoder();
    return goodFrames;
}
