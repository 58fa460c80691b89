#include "repair/live_preview.h"

#include <QImage>
#include <QRectF>
#include <QString>

#include <cstring>
#include <memory>
#include <utility>

#include "media/annexb_decode.h"
#include "media/frame_picture.h"
#include "media/hex_text.h"
#include "media/ffmpeg_handles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr std::uint8_t kStartCode[4] = {0, 0, 0, 1};
constexpr int kH264Delimiter = 9;
constexpr int kHevcDelimiter = 35;
// The "Repair..." box along the top edge, as wide as the previewer's time box.
const QRectF kRepairBox(110, 5, 66, 12);

bool isDelimiter(int nalType) { return nalType == kH264Delimiter || nalType == kHevcDelimiter; }

}  // namespace

livePreview::livePreview(PictureSink sink) : sink_(std::move(sink)) {}

livePreview::~livePreview() { closeVideoDecoder(); }

int livePreview::openVideoDecoder(bool hevc) {
    // The queue stays: the decode test is queued before the decoder is opened.
    avcodec_free_context(&context_);
    av_log_set_level(AV_LOG_QUIET);
    const AVCodec* codec = avcodec_find_decoder(hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    if (!codec) return AVERROR_DECODER_NOT_FOUND;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context) return 0;
    const int opened = avcodec_open2(context, codec, nullptr);
    if (opened < 0) {
        avcodec_free_context(&context);
        return opened;
    }
    context_ = context;
    return opened;
}

void livePreview::flushPreviewPackets() {
    queue_.clear();
    queue_.shrink_to_fit();
    queuedBytes_ = 0;
    pictureOpen_ = false;
}

void livePreview::closeVideoDecoder() {
    flushPreviewPackets();
    avcodec_free_context(&context_);
}

int livePreview::decodeTestPacket(const std::string& text) {
    const std::string bytes = hexToBytes(text);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    makeRoomFor(bytes.size());
    append(data, bytes.size(), nullptr, 0, false);
    return 1;
}

int livePreview::queuePreviewPacket(const std::uint8_t* payload, std::size_t payloadLength,
                                    const std::uint8_t* extra, std::size_t extraLength, int nalType) {
    const std::size_t incoming = sizeof kStartCode + payloadLength + extraLength;
    if (isDelimiter(nalType)) {
        if (pictureOpen_ && queue_.size() == 1) {
            append(payload, payloadLength, extra, extraLength, true);
            return 1;
        }
        if (pictureOpen_) {
            pictureOpen_ = false;
            showRepairPreview();
        }
        makeRoomFor(incoming);
        pictureOpen_ = true;
        append(payload, payloadLength, extra, extraLength, true);
        return 1;
    }
    makeRoomFor(incoming);
    append(payload, payloadLength, extra, extraLength, true);
    return 1;
}

int livePreview::queueSlicePreview(const std::uint8_t* payload, std::size_t payloadLength,
                                   const std::uint8_t* extra, std::size_t extraLength) {
    makeRoomFor(sizeof kStartCode + payloadLength + extraLength);
    append(payload, payloadLength, extra, extraLength, true);
    if (pictureOpen_ && queue_.size() < kSliceQueueLimit) return 1;
    showRepairPreview();
    return 1;
}

void livePreview::append(const std::uint8_t* payload, std::size_t payloadLength, const std::uint8_t* extra,
                         std::size_t extraLength, bool withStartCode) {
    if (!payload) payloadLength = 0;
    if (!extra) extraLength = 0;
    const std::size_t size = (withStartCode ? sizeof kStartCode : 0) + payloadLength + extraLength;
    // A single packet beyond the byte bound is never kept; the picture it belongs to is lost.
    if (size > kMaxQueuedBytes) return;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size);
    if (withStartCode) bytes.insert(bytes.end(), kStartCode, kStartCode + sizeof kStartCode);
    if (payloadLength) bytes.insert(bytes.end(), payload, payload + payloadLength);
    if (extraLength) bytes.insert(bytes.end(), extra, extra + extraLength);
    queuedBytes_ += bytes.size();
    queue_.push_back(std::move(bytes));
}

void livePreview::makeRoomFor(std::size_t incoming) {
    if (queue_.empty()) return;
    if (queue_.size() + 1 > kMaxQueuedPackets || queuedBytes_ + incoming > kMaxQueuedBytes) showRepairPreview();
}

int livePreview::showRepairPreview() {
    if (!queue_.empty()) ++decodeRuns_;
    if (!context_ || queuedBytes_ == 0 || queuedBytes_ > static_cast<std::size_t>(INT32_MAX)) {
        flushPreviewPackets();
        return 1;
    }
    PacketPtr joined(av_packet_alloc());
    // av_new_packet zeroes the input tail the decoder may read past the end.
    if (!joined || av_new_packet(joined.get(), static_cast<int>(queuedBytes_)) < 0) {
        flushPreviewPackets();
        return 1;
    }
    std::uint8_t* out = joined->data;
    for (const auto& bytes : queue_) {
        std::memcpy(out, bytes.data(), bytes.size());
        out += bytes.size();
    }
    decodeJoined(joined->data, joined->size);
    flushPreviewPackets();
    return 1;
}

void livePreview::decodeJoined(const std::uint8_t* data, int size) {
    decodeAnnexB(context_, data, size, [this](const AVFrame* frame) {
        // After a damaged picture the rest of the queue's pictures are only discarded.
        if (isDamagedFrame(frame)) return false;
        if (!sink_) return true;
        QImage picture = scaledPicture(frameToRgbImage(frame, SWS_BILINEAR), kPictureWidth, kPictureHeight);
        if (picture.isNull()) return true;
        stampTextBox(picture, kRepairBox, QStringLiteral("Repair..."));
        sink_(picture);
        ++picturesShown_;
        return true;
    });
}
