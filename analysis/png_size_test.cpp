#include "analysis/png_size_test.h"

#include <zlib.h>

#include <cstdint>
#include <vector>

namespace {

// The smallest framing around the zlib stream: signature, IHDR chunk, one IDAT chunk's length,
// type and CRC, IEND chunk.
constexpr long kMinPngFraming = 8 + 25 + 12 + 12;
constexpr unsigned kScratchBytes = 1 << 16;

}  // namespace

// The encoder's settings: zlib's default level, window and memory (deflateInit), no filter.
struct PngSizeTest::Deflater {
    z_stream stream{};
    bool ready = false;
    std::vector<Bytef> scratch = std::vector<Bytef>(kScratchBytes);

    Deflater() { ready = deflateInit(&stream, Z_DEFAULT_COMPRESSION) == Z_OK; }
    ~Deflater() {
        if (ready) deflateEnd(&stream);
    }

    // Deflates `size` bytes at `data`; the output goes nowhere, only its count is kept.
    bool feed(const Bytef* data, unsigned size, int flush) {
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = size;
        for (;;) {
            stream.next_out = scratch.data();
            stream.avail_out = unsigned(scratch.size());
            const int result = deflate(&stream, flush);
            if (result == Z_STREAM_END) return true;
            if (result != Z_OK && result != Z_BUF_ERROR) return false;
            if (flush == Z_NO_FLUSH && stream.avail_in == 0) return true;
        }
    }
};

PngSizeTest::PngSizeTest() : deflater_(std::make_unique<Deflater>()) {}

PngSizeTest::~PngSizeTest() = default;

bool PngSizeTest::deflatedRowsReach(const QImage& picture, long floor) {
    Deflater& d = *deflater_;
    if (!d.ready || deflateReset(&d.stream) != Z_OK) return false;
    static const Bytef kNoFilter = 0;
    const unsigned rowBytes = unsigned(picture.width()) * 3;
    for (int y = 0; y < picture.height(); ++y) {
        if (!d.feed(&kNoFilter, 1, Z_NO_FLUSH) || !d.feed(picture.constScanLine(y), rowBytes, Z_NO_FLUSH)) return false;
        if (long(d.stream.total_out) >= floor) return true;
    }
    return d.feed(nullptr, 0, Z_FINISH) && long(d.stream.total_out) >= floor;
}

bool PngSizeTest::reaches(const QImage& picture, int bytes) {
    if (picture.isNull()) return false;
    if (picture.format() == QImage::Format_RGB888 && deflatedRowsReach(picture, long(bytes) - kMinPngFraming))
        return true;
    return encodedSize(picture) >= bytes;
}

int PngSizeTest::encodedSize(const QImage& picture) {
    if (picture.isNull()) return -1;
    if (!encoder_ || encoder_->width != picture.width() || encoder_->height != picture.height()) {
        encoder_.reset();
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
        CodecContextPtr encoder(codec ? avcodec_alloc_context3(codec) : nullptr);
        if (!encoder) return -1;
        encoder->width = picture.width();
        encoder->height = picture.height();
        encoder->pix_fmt = AV_PIX_FMT_RGB24;
        encoder->time_base = AVRational{1, 25};
        if (avcodec_open2(encoder.get(), codec, nullptr) < 0) return -1;
        encoder_ = std::move(encoder);
    }
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!frame || !packet) return -1;
    frame->width = picture.width();
    frame->height = picture.height();
    frame->format = AV_PIX_FMT_RGB24;
    // The encoder only reads the rows during the call.
    frame->data[0] = const_cast<std::uint8_t*>(picture.constBits());
    frame->linesize[0] = picture.bytesPerLine();
    if (avcodec_send_frame(encoder_.get(), frame.get()) < 0) return -1;
    if (avcodec_receive_packet(encoder_.get(), packet.get()) < 0) return -1;
    return packet->size;
}
