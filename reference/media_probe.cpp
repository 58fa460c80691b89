#include "reference/media_probe.h"

#include <cstring>
#include <iostream>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

struct InputCloser {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

// Byte order of the signed PCM decoders; other decoders leave both flags as they were.
struct PcmOrder {
    const char* decoder;
    bool littleEndian;
};
constexpr PcmOrder kPcmOrders[] = {
    {"pcm_s16le", true}, {"pcm_s16be", false}, {"pcm_s24le", true},
    {"pcm_s24be", false}, {"pcm_s32le", true}, {"pcm_s32be", false},
};

void takeAudio(const AVCodecParameters& par, const AVCodec* decoder, MediaInfo& info) {
    info.audioCodecName = decoder ? decoder->name : "...";
    info.sampleRate = par.sample_rate;
    info.channels = par.ch_layout.nb_channels;
    info.bitsPerSample = par.bits_per_coded_sample;
    info.blockAlign = par.block_align;
    if (!decoder) return;
    for (const PcmOrder& order : kPcmOrders) {
        if (std::strcmp(decoder->name, order.decoder) == 0) {
            info.littleEndian = order.littleEndian ? 1 : 0;
            info.bigEndian = order.littleEndian ? 0 : 1;
            return;
        }
    }
}

void takeVideo(AVFormatContext* fmt, AVStream* stream, const AVCodec* decoder, MediaInfo& info) {
    const AVRational guess = av_guess_frame_rate(fmt, stream, nullptr);
    takeVideoFrameRate(stream->r_frame_rate.num, stream->r_frame_rate.den, guess.num, guess.den, info);
    info.videoCodecName = decoder->name;
    info.width = stream->codecpar->width;
    info.height = stream->codecpar->height;
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
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        std::cout << "avformat_open_input failed" << std::endl;
        return false;
    }
    InputPtr fmt(raw);
    if (avformat_find_stream_info(fmt.get(), nullptr) < 0) {
        std::cout << "avformat_find_stream_info failed" << std::endl;
        return false;
    }
    // The values come straight from each stream's codec parameters, which are what a decoder
    // context would be filled from; no decoder is opened.
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        AVStream* stream = fmt->streams[i];
        const AVCodecParameters* par = stream->codecpar;
        const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
        if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            takeAudio(*par, decoder, info);
        } else if (par->codec_type == AVMEDIA_TYPE_VIDEO && decoder &&
                   !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            // Cover art is a one-picture "video" stream; it must not replace the real picture size.
            takeVideo(fmt.get(), stream, decoder, info);
        }
    }
    return true;
}
