#include "repair/qt_ima_decoder.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include "media/ffmpeg_handles.h"
#include "repair/qt_ima_format.h"

struct QtImaDecoder::Handles {
    CodecContextPtr context;
    PacketPtr packet{av_packet_alloc()};
    FramePtr frame{av_frame_alloc()};
};

namespace {

void appendSample(std::vector<std::uint8_t>& pcm, std::int16_t sample) {
    const auto bits = static_cast<std::uint16_t>(sample);
    pcm.push_back(static_cast<std::uint8_t>(bits));
    pcm.push_back(static_cast<std::uint8_t>(bits >> 8));
}

// The frame's samples, interleaved; false for a sample format other than 16-bit.
bool appendFrame(const AVFrame* frame, int channels, std::vector<std::uint8_t>& pcm) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    if (av_get_packed_sample_fmt(format) != AV_SAMPLE_FMT_S16) return false;
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    pcm.reserve(pcm.size() + std::size_t(frame->nb_samples) * std::size_t(channels) * 2);
    for (int i = 0; i < frame->nb_samples; ++i) {
        for (int ch = 0; ch < channels; ++ch) {
            const auto* plane = reinterpret_cast<const std::int16_t*>(frame->extended_data[planar ? ch : 0]);
            appendSample(pcm, planar ? plane[i] : plane[i * channels + ch]);
        }
    }
    return true;
}

}  // namespace

QtImaDecoder::QtImaDecoder() = default;
QtImaDecoder::~QtImaDecoder() = default;

bool QtImaDecoder::isOpen() const { return handles_ && handles_->context; }

bool QtImaDecoder::open(int channels, int sampleRate) {
    handles_.reset();
    channels_ = 0;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ADPCM_IMA_QT);
    if (!codec || qtImaPacketBytes(channels) == 0) return false;
    auto handles = std::make_unique<Handles>();
    handles->context.reset(avcodec_alloc_context3(codec));
    if (!handles->context || !handles->packet || !handles->frame) return false;
    AVCodecContext* context = handles->context.get();
    av_channel_layout_default(&context->ch_layout, channels);
    context->sample_rate = std::max(sampleRate, 0);
    if (avcodec_open2(context, codec, nullptr) < 0) return false;
    handles_ = std::move(handles);
    channels_ = channels;
    return true;
}

bool QtImaDecoder::decode(const std::uint8_t* packets, std::size_t size, std::vector<std::uint8_t>& pcm) {
    if (!isOpen()) return false;
    const auto packetBytes = static_cast<std::size_t>(qtImaPacketBytes(channels_));
    AVCodecContext* context = handles_->context.get();
    AVPacket* packet = handles_->packet.get();
    AVFrame* frame = handles_->frame.get();
    // One packet at a time, as the container hands them to a player.
    for (std::size_t at = 0; at + packetBytes <= size; at += packetBytes) {
        // Not reference-counted: the library copies the bytes (with its padding) before reading.
        packet->data = const_cast<std::uint8_t*>(packets + at);
        packet->size = static_cast<int>(packetBytes);
        const int sent = avcodec_send_packet(context, packet);
        packet->data = nullptr;
        packet->size = 0;
        if (sent < 0) return false;
        for (;;) {
            const int received = avcodec_receive_frame(context, frame);
            if (received == AVERROR(EAGAIN)) break;
            if (received < 0) return false;
            const bool taken = appendFrame(frame, channels_, pcm);
            av_frame_unref(frame);
            if (!taken) return false;
        }
    }
    return true;
}
