#include "media/annexb_decode.h"

#include "media/ffmpeg_handles.h"

namespace {

bool sendUnit(AVCodecContext* context, AVPacket* unit) {
    int sent = avcodec_send_packet(context, unit);
    if (sent == AVERROR(EAGAIN)) {
        // Pictures left from an earlier decode block the input; drop them and send again.
        FramePtr stale(av_frame_alloc());
        while (stale && avcodec_receive_frame(context, stale.get()) == 0) av_frame_unref(stale.get());
        sent = avcodec_send_packet(context, unit);
    }
    return sent >= 0;
}

void receivePictures(AVCodecContext* context, const PictureSink& sink, bool& looking) {
    FramePtr frame(av_frame_alloc());
    if (!frame) return;
    while (avcodec_receive_frame(context, frame.get()) == 0) {
        if (looking) looking = sink(frame.get());
        av_frame_unref(frame.get());
    }
}

}  // namespace

void decodeAnnexB(AVCodecContext* context, const std::uint8_t* data, int size, const PictureSink& sink) {
    if (!context || !data || size <= 0) return;
    ParserPtr parser(av_parser_init(context->codec_id));
    PacketPtr unit(av_packet_alloc());
    if (!parser || !unit) return;
    bool looking = true;
    for (;;) {
        // The final call with no input hands over the last access unit.
        const bool flushing = size == 0;
        std::uint8_t* piece = nullptr;
        int pieceSize = 0;
        const int used =
            av_parser_parse2(parser.get(), context, &piece, &pieceSize, data, size, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0 || used > size) return;
        data += used;
        size -= used;
        if (pieceSize > 0) {
            unit->data = piece;
            unit->size = pieceSize;
            // A refused unit ends the batch: the pictures behind it would lack their reference.
            if (!sendUnit(context, unit.get())) return;
            receivePictures(context, sink, looking);
        } else if (used == 0 && !flushing) {
            return;  // a parser that neither consumes nor yields would loop forever
        }
        if (flushing) return;
    }
}

bool decodeAccessUnit(AVCodecContext* context, const std::uint8_t* data, int size, const PictureSink& sink) {
    if (!context || !data || size <= 0) return false;
    PacketPtr unit(av_packet_alloc());
    if (!unit) return false;
    unit->data = const_cast<std::uint8_t*>(data);
    unit->size = size;
    if (!sendUnit(context, unit.get())) return false;
    bool looking = true;
    receivePictures(context, sink, looking);
    return true;
}

void drainDecoder(AVCodecContext* context, const PictureSink& sink) {
    if (!context) return;
    bool looking = true;
    if (avcodec_send_packet(context, nullptr) >= 0) receivePictures(context, sink, looking);
    avcodec_flush_buffers(context);
}
