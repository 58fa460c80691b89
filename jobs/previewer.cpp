#include "jobs/previewer.h"

#include <QImage>

#include "media/access_guard.h"
#include "media/frame_picture.h"
#include "media/picture_seam.h"
#include "jobs/output_names.h"
#include "jobs/preview_time.h"
#include "media/ffmpeg_handles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

const char* const previewer::kDefaultPicture = ":/new/graphics/res/preview.png";


previewer::previewer(QObject* target, QObject* parent) : QThread(parent), previewLabel(target) {}

previewer::~previewer() {
    stopRequested.store(true);
    wait();
    releaseInput();
}

void previewer::openFile(const QString& opened) {
    // The window never reopens during a decode; should it, the decode ends before the
    // contexts it uses go away.
    stopRequested.store(true);
    wait();
    releaseInput();
    stopRequested.store(false);
    path = opened;
    if (!runGuarded([this] { return openInput(); })) releaseInput();
}

bool previewer::openInput() {
    const QByteArray name = path.toUtf8();
    // Opening a FIFO would wait for a writer, holding up the window that asked for the picture.
    if (!isRegularFile(path)) return false;
    AVFormatContext* opened = nullptr;
    // A failed open frees what it allocated.
    if (avformat_open_input(&opened, name.constData(), nullptr, nullptr) < 0) return false;
    formatContext.reset(opened);
    if (avformat_find_stream_info(formatContext.get(), nullptr) < 0) return false;
    durationSeconds = formatContext->duration > 0 ? double(formatContext->duration) / AV_TIME_BASE : 0;

    streamDecoders.resize(formatContext->nb_streams);
    for (unsigned i = 0; i < formatContext->nb_streams; ++i) {
        AVStream* stream = formatContext->streams[i];
        if (!stream || !stream->codecpar) return false;
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!codec) continue;
        CodecContextPtr context(avcodec_alloc_context3(codec));
        if (!context) return false;
        if (avcodec_parameters_to_context(context.get(), stream->codecpar) < 0) return false;
        const AVMediaType type = stream->codecpar->codec_type;
        // An attached picture (cover art) is a still image, not the film to preview.
        if (type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            context->framerate = av_guess_frame_rate(formatContext.get(), stream, nullptr);
            videoStreamIndex = static_cast<int>(i);
        }
        if ((type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO) && avcodec_open2(context.get(), codec, nullptr) < 0)
            return false;
        streamDecoders[i] = std::move(context);
    }
    atFileStart = true;
    inputOpen.store(true);
    return true;
}

void previewer::releaseInput() {
    streamDecoders.clear();
    formatContext.reset();
    videoStreamIndex = -1;
    durationSeconds = 0;
    decoderDrained = false;
    inputOpen.store(false);
}

void previewer::closeFile() {
    stopRequested.store(true);
    wait();
    releaseInput();
    decoding.store(false);
    stopRequested.store(false);
    handResourcePicture(previewLabel, kDefaultPicture);
}

bool previewer::seekToPosition(float seconds) {
    if (!(seconds > 0)) {
        // Position 0 reads on from where the file stands: right after opening that is its start;
        // after an earlier picture it is wherever that one left off, so the start is sought.
        if (atFileStart) return true;
        const int64_t start = formatContext->start_time == AV_NOPTS_VALUE ? 0 : formatContext->start_time;
        if (av_seek_frame(formatContext.get(), -1, start, AVSEEK_FLAG_BACKWARD) < 0) return false;
        avcodec_flush_buffers(streamDecoders[videoStreamIndex].get());
        decoderDrained = false;
        return true;
    }
    const AVStream* stream = formatContext->streams[videoStreamIndex];
    const int64_t target =
        previewSeekTarget(seconds, formatContext->start_time, stream->time_base.num, stream->time_base.den);
    if (target == AV_NOPTS_VALUE) return false;
    if (av_seek_frame(formatContext.get(), videoStreamIndex, target, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(streamDecoders[videoStreamIndex].get());
    decoderDrained = false;
    return true;
}

bool previewer::findPicture(AVFrame* picture) {
    AVCodecContext* decoder = streamDecoders[videoStreamIndex].get();
    if (decoderDrained) {
        avcodec_flush_buffers(decoder);
        decoderDrained = false;
    }
    PacketPtr packet(av_packet_alloc());
    if (!packet) return false;

    auto receive = [&]() {
        while (avcodec_receive_frame(decoder, picture) == 0) {
            if (!isDamagedFrame(picture)) return true;
            emit errorFindPicture();
            av_frame_unref(picture);
        }
        return false;
    };

    for (int read = 0; read < kMaxPackets && !stopRequested.load(); ++read) {
        if (av_read_frame(formatContext.get(), packet.get()) < 0) {
            // End of the file: the decoder may still hold the pictures it delayed.
            avcodec_send_packet(decoder, nullptr);
            decoderDrained = true;
            return receive();
        }
        const bool ours = packet->stream_index == videoStreamIndex;
        if (ours) {
            // A full decoder refuses the packet until its pictures are taken: take them, then
            // hand the same packet over again rather than lose it.
            const bool refused = avcodec_send_packet(decoder, packet.get()) == AVERROR(EAGAIN);
            const bool found = receive();
            if (refused && !found) avcodec_send_packet(decoder, packet.get());
            av_packet_unref(packet.get());
            if (found || (refused && receive())) return true;
        } else {
            av_packet_unref(packet.get());
        }
    }
    return false;
}

void previewer::showAt(float seconds) {
    position.store(seconds);
    std::lock_guard<std::mutex> lock(runMutex);
    if (runActive) {
        rerunWanted = true;
        return;
    }
    // A run that has just let go of the hand-over may not have returned yet; start() would
    // then do nothing.
    wait();
    runActive = true;
    start(QThread::InheritPriority);
}

void previewer::run() {
    for (;;) {
        decodeOnce(position.load());
        std::lock_guard<std::mutex> lock(runMutex);
        if (!rerunWanted || stopRequested.load()) {
            rerunWanted = false;
            runActive = false;
            return;
        }
        rerunWanted = false;
    }
}

void previewer::decodeOnce(float seconds) {
    decoding.store(true);
    const bool converting = isConverting.load();
    FramePtr frame(av_frame_alloc());

    // The position is read once: the picture and its time text are of the same second.
    QImage picture;
    if (frame && formatContext && videoStreamIndex >= 0 && !stopRequested.load() && seekToPosition(seconds)) {
        atFileStart = false;
        if (findPicture(frame.get())) {
            picture = scaledPicture(frameToRgbImage(frame.get(), SWS_FAST_BILINEAR), kPictureWidth, kPictureHeight);
            if (!picture.isNull())
                stampTextBox(picture, previewTimeBox(converting), previewTimeText(seconds, converting));
        }
    }
    if (!picture.isNull()) {
        handPicture(previewLabel, picture);
    } else {
        handResourcePicture(previewLabel, kDefaultPicture);
        emit errorFindPicture();
    }
    decoding.store(false);
}
