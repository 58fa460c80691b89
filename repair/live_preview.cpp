#include "repair/live_preview.h"

#include <QImage>
#include <QRectF>
#include <QString>

#include <algorithm>
#include <cstring>
#include <utility>

#include "media/annexb_decode.h"
#include "media/ffmpeg_handles.h"
#include "media/frame_picture.h"
#include "media/hex_text.h"
#include "media/stream_decoder.h"
#include "repair/preview_units.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr std::uint8_t kStartCode[4] = {0, 0, 0, 1};
// The "Repair..." box along the top edge, as wide as the previewer's time box.
const QRectF kRepairBox(110, 5, 66, 12);

// Start code + payload + extra behind `to`.
void appendUnit(std::vector<std::uint8_t>& to, const std::uint8_t* payload, std::size_t payloadLength,
                const std::uint8_t* extra, std::size_t extraLength) {
    to.insert(to.end(), kStartCode, kStartCode + sizeof kStartCode);
    if (payloadLength) to.insert(to.end(), payload, payload + payloadLength);
    if (extraLength) to.insert(to.end(), extra, extra + extraLength);
}

// The unit's first bytes, which may run on into the extra bytes, into `lead`.
std::size_t leadBytes(const std::uint8_t* payload, std::size_t payloadLength, const std::uint8_t* extra,
                      std::size_t extraLength, std::uint8_t (&lead)[kPreviewLeadBytes]) {
    const std::size_t fromPayload = std::min(payloadLength, kPreviewLeadBytes);
    const std::size_t fromExtra = std::min(extraLength, kPreviewLeadBytes - fromPayload);
    if (fromPayload) std::memcpy(lead, payload, fromPayload);
    if (fromExtra) std::memcpy(lead + fromPayload, extra, fromExtra);
    return fromPayload + fromExtra;
}

}  // namespace

livePreview::livePreview(PictureSink sink, Clock clock)
    : sink_(std::move(sink)),
      clock_(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)),
      worker_([this](std::vector<std::uint8_t>& picture) { decodePicture(picture); }) {}

livePreview::~livePreview() { closeVideoDecoder(); }

int livePreview::openVideoDecoder(bool hevc) {
    // The decoding thread lets go of the old decoder first. The parameter sets stay: the
    // decode test is kept before the decoder is opened.
    finishPictures();
    dropPicture();
    hevc_ = hevc;
    // Without a decoder the preview shows nothing; the repair goes on either way.
    return openStreamDecoder(hevc, context_);
}

void livePreview::flushPreviewPackets() {
    dropPicture();
    picture_.shrink_to_fit();
    referenceSets_.clear();
    streamSets_.clear();
    streamSetsOpen_ = false;
    // A new run shows its first picture at once.
    picked_ = false;
}

void livePreview::closeVideoDecoder() {
    // The last picture picked still shows: it is what the repair ended on.
    showRepairPreview();
    finishPictures();
    flushPreviewPackets();
    context_.reset();
}

Outcome livePreview::decodeTestPacket(const std::string& text) {
    std::string bytes;
    const Outcome read = hexToBytes(text, bytes);
    if (read && referenceSets_.size() + bytes.size() <= kMaxParameterSetBytes)
        referenceSets_.insert(referenceSets_.end(), bytes.begin(), bytes.end());
    return read;
}

int livePreview::queuePreviewPacket(const std::uint8_t* payload, std::size_t payloadLength,
                                    const std::uint8_t* extra, std::size_t extraLength, int nalType) {
    take(payload, payloadLength, extra, extraLength, nalType);
    return 1;
}

int livePreview::queueSlicePreview(const std::uint8_t* payload, std::size_t payloadLength,
                                   const std::uint8_t* extra, std::size_t extraLength) {
    take(payload, payloadLength, extra, extraLength, 1);
    return 1;
}

void livePreview::take(const std::uint8_t* payload, std::size_t payloadLength, const std::uint8_t* extra,
                       std::size_t extraLength, int nalType) {
    if (!context_) return;  // nothing would decode it
    if (!payload) payloadLength = 0;
    if (!extra) extraLength = 0;
    std::uint8_t lead[kPreviewLeadBytes];
    const PreviewUnitKind kind =
        previewUnitKind(nalType, hevc_, lead, leadBytes(payload, payloadLength, extra, extraLength, lead));
    const std::size_t incoming = sizeof kStartCode + payloadLength + extraLength;
    switch (kind.unit) {
    case PreviewUnit::Other:
        return;
    case PreviewUnit::PictureBoundary:
        showRepairPreview();
        return;
    case PreviewUnit::ParameterSet:
        showRepairPreview();
        keepStreamSet(payload, payloadLength, extra, extraLength);
        return;
    case PreviewUnit::StandAloneSlice:
    case PreviewUnit::DependentSlice:
        break;
    }
    streamSetsOpen_ = false;
    if (pictureOpen() && nalType == pictureType_ && !kind.firstSlice) {
        // A later slice of the picture being picked; a picture past the bounds is dropped whole
        // rather than decoded in part.
        if (picturePackets_ + 1 > kMaxQueuedPackets || picture_.size() + incoming > kMaxQueuedBytes) {
            dropPicture();
            return;
        }
        appendUnit(picture_, payload, payloadLength, extra, extraLength);
        ++picturePackets_;
        return;
    }
    showRepairPreview();
    if (kind.unit != PreviewUnit::StandAloneSlice || !kind.firstSlice) return;
    const std::size_t sets = referenceSets_.size() + streamSets_.size();
    if (sets + incoming > kMaxQueuedBytes || !pictureDue()) return;
    startPicture(nalType);
    appendUnit(picture_, payload, payloadLength, extra, extraLength);
    picturePackets_ = 1;
}

bool livePreview::pictureDue() {
    // Only a free decoding thread takes a picture at once; any other would wait, grow stale
    // and hold its bytes meanwhile.
    if (!worker_.idle()) return false;
    const auto now = clock_();
    if (picked_ && now - lastPicked_ < kPictureInterval) return false;
    picked_ = true;
    lastPicked_ = now;
    return true;
}

void livePreview::startPicture(int nalType) {
    picture_.clear();
    picture_.insert(picture_.end(), referenceSets_.begin(), referenceSets_.end());
    picture_.insert(picture_.end(), streamSets_.begin(), streamSets_.end());
    pictureType_ = nalType;
}

void livePreview::dropPicture() {
    picture_.clear();
    pictureType_ = -1;
    picturePackets_ = 0;
}

void livePreview::keepStreamSet(const std::uint8_t* payload, std::size_t payloadLength, const std::uint8_t* extra,
                                std::size_t extraLength) {
    // The sets in front of a picture replace those in front of an earlier one.
    if (!streamSetsOpen_) streamSets_.clear();
    streamSetsOpen_ = true;
    if (streamSets_.size() + sizeof kStartCode + payloadLength + extraLength > kMaxParameterSetBytes) return;
    appendUnit(streamSets_, payload, payloadLength, extra, extraLength);
}

int livePreview::showRepairPreview() {
    if (!pictureOpen()) return 1;
    // The decoder may read past the end: its input tail is zeroed.
    picture_.insert(picture_.end(), AV_INPUT_BUFFER_PADDING_SIZE, 0);
    ++handedOver_;
    worker_.handOver(std::move(picture_));
    picture_ = {};
    pictureType_ = -1;
    picturePackets_ = 0;
    return 1;
}

void livePreview::finishPictures() { worker_.finish(); }

void livePreview::decodePicture(std::vector<std::uint8_t>& picture) {
    const auto size = static_cast<int>(picture.size() - AV_INPUT_BUFFER_PADDING_SIZE);
    auto show = [this](const AVFrame* frame) {
        if (isDamagedFrame(frame)) return false;
        if (!sink_) return true;
        QImage shown = scaledPicture(frameToRgbImage(frame, SWS_BILINEAR), kPictureWidth, kPictureHeight);
        if (shown.isNull()) return true;
        stampTextBox(shown, kRepairBox, QStringLiteral("Repair..."));
        sink_(shown);
        ++picturesShown_;
        return true;
    };
    decodeAnnexB(context_.get(), picture.data(), size, show);
    // A picture held back for reordering is shown now, not when a later one would push it out.
    drainDecoder(context_.get(), show);
}
