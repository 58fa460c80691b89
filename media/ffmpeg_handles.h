#pragma once
// Owning handles for the FFmpeg objects the probes and decoders use, so that every path,
// failures included, frees what it opened.
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

struct FormatInputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
// An output context closes the file it writes along with it.
struct FormatOutputCloser {
    void operator()(AVFormatContext* c) const {
        if (c->pb) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
// A context reading through the caller's own functions; the buffer goes with it (the library
// may have replaced the one it was given).
struct IoContextFreer {
    void operator()(AVIOContext* c) const {
        av_freep(&c->buffer);
        avio_context_free(&c);
    }
};
struct ParserCloser {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
// One reference to a buffer; the bytes go with the last one.
struct BufferUnref {
    void operator()(AVBufferRef* b) const { av_buffer_unref(&b); }
};

using FormatInputPtr = std::unique_ptr<AVFormatContext, FormatInputCloser>;
using FormatOutputPtr = std::unique_ptr<AVFormatContext, FormatOutputCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using ParserPtr = std::unique_ptr<AVCodecParserContext, ParserCloser>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextFreer>;
using BufferPtr = std::unique_ptr<AVBufferRef, BufferUnref>;

// A picture the decoder marks as damaged: errors while decoding, or a corrupt frame.
inline bool isDamagedFrame(const AVFrame* frame) {
    return frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT);
}
