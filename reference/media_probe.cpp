#include "reference/media_probe.h"

#include <cstring>
#include <iostream>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "media/ffmpeg_handles.h"
#include "reference/probe_input.h"

namespace {

// Byte order of the signed PCM decoders; other decoders leave both flags as they were.
struct PcmOrder {
    const char* decoder;
    bool littleEndian;
};
constexpr PcmOrder kPcmOrders[] = {
    {"pcm_s16le", true}, {"pcm_s16be", false}, {"pcm_s24le", true},
    {"pcm_s24be", false}, {"pcm_s32le", true}, {"pcm_s32be", false},
};

// A context for `decoder` (which may be null) filled from the stream's parameters, as the
// decoder would see them; null only when the library runs out of memory.
CodecContextPtr contextFor(const AVCodecParameters* par, const AVCodec* decoder) {
    CodecContextPtr ctx(avcodec_alloc_context3(decoder));
    if (ctx && avcodec_parameters_to_context(ctx.get(), par) < 0) ctx.reset();
    return ctx;
}

void takeAudio(const AVCodecContext& ctx, const AVCodec* decoder, MediaInfo& info) {
    info.audioCodecName = decoder ? decoder->name : "...";
    info.sampleRate = ctx.sample_rate;
    info.channels = ctx.ch_layout.nb_channels;
    info.bitsPerSample = ctx.bits_per_coded_sample;
    info.blockAlign = ctx.block_align;
    if (!decoder) return;
    for (const PcmOrder& order : kPcmOrders) {
        if (std::strcmp(decoder->name, order.decoder) == 0) {
            info.littleEndian = order.littleEndian ? 1 : 0;
            info.bigEndian = order.littleEndian ? 0 : 1;
            return;
        }
    }
}

void takeVideo(AVFormatContext* fmt, AVStream* stream, const AVCodecContext& ctx, const AVCodec* decoder,
               MediaInfo& info) {
    const AVRational guess = av_guess_frame_rate(fmt, stream, nullptr);
    takeVideoFrameRate(stream->r_frame_rate.num, stream->r_frame_rate.den, guess.num, guess.den, info);
    info.videoCodecName = decoder->name;
    info.width = ctx.width;
    info.height = ctx.height;
}

}  // namespace

void takeVideoFrameRate(int realNum, int realDen, int guessNum, int guessDen, MediaInfo& info) {
    if (realDen > 0) {
        info.fpsNum = static_cast<float>(realNum);
        info.fpsDen = static_cast<float>(realDen);
    }
    if (info.fpsNum == 0) {
        info.fpsNum = static_cast<float>(guessNum);
        info.fpsDen = static_cast<float>(guessDen);
    }
}

bool probeMediaInfo(const std::string& path, MediaInfo& info) {
    // Only regular files (the library would wait on a FIFO for as long as nothing writes to
    // it), with no more tracks in view than the analysis keeps: the stream information opens
    // a decoder per stream.
    ProbeInput input;
    if (!input.open(path, AnalysisResult::kMaxTracks)) {
        std::cout << "avformat_open_input failed" << std::endl;
        return false;
    }
    AVFormatContext* const fmt = input.format();
    if (avformat_find_stream_info(fmt, nullptr) < 0) {
        std::cout << "avformat_find_stream_info failed" << std::endl;
        return false;
    }
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        AVStream* stream = fmt->streams[i];
        const AVMediaType kind = stream->codecpar->codec_type;
        // Cover art is a one-picture "video" stream; it must not replace the real picture's values.
        const bool video = kind == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
        if (kind != AVMEDIA_TYPE_AUDIO && !video) continue;
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        if (video && !decoder) continue;
        const CodecContextPtr ctx = contextFor(stream->codecpar, decoder);
        if (!ctx) continue;
        if (video)
            takeVideo(fmt, stream, *ctx, decoder, info);
        else
            takeAudio(*ctx, decoder, info);
    }
    return true;
}
