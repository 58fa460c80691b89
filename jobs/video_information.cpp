#include "jobs/video_information.h"

#include <algorithm>
#include <climits>
#include <memory>

#include <QDateTime>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "jobs/output_names.h"
#include "media/ffmpeg_handles.h"
#include "mp4/diagnostic_log.h"

namespace {

// Untrusted containers may state values beyond an int.
int clampToInt(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX)); }

void takeVideoStream(AVFormatContext* input, AVStream* stream, const AVCodec* decoder, videoDetails& out) {
    const AVCodecParameters* par = stream->codecpar;
    const AVRational real = stream->r_frame_rate;
    out.mVideoframerate = real.den > 0 ? static_cast<float>(static_cast<double>(real.num) / real.den) : 0.0f;
    out.mVideoCodec = QString::fromUtf8(decoder->name);
    out.mVideoWidth = par->width;
    out.mVideoHeight = par->height;
    out.mVideoBitRate = clampToInt(par->bit_rate / 1000);
    if (out.mVideoBitRate < 1) out.mVideoBitRate = 2500;
    // Integer quotient on purpose: 30000/1001 reports 29.
    const AVRational guessed = av_guess_frame_rate(input, stream, nullptr);
    out.mVideoFPS = guessed.den != 0 ? static_cast<float>(guessed.num / guessed.den) : 0.0f;
}

void takeAudioStream(const AVStream* stream, const AVCodec* decoder, videoDetails& out) {
    const AVCodecParameters* par = stream->codecpar;
    out.mAudioCodec = QString::fromUtf8(decoder->name);
    out.mAudioBitRate = clampToInt(par->bit_rate / 1000);
    if (out.mAudioBitRate < 1) out.mAudioBitRate = 0;
    out.mAudioChannels = par->ch_layout.nb_channels;
    out.mAudioSampleRate = par->sample_rate;
}

QString summaryOf(const videoDetails& d) {
    QString summary;
    if (!d.mVideoCodec.isEmpty())
        summary = QStringLiteral("Video: %1; %2x%3; %4 Kbps")
                      .arg(d.mVideoCodec)
                      .arg(d.mVideoWidth)
                      .arg(d.mVideoHeight)
                      .arg(d.mVideoBitRate);
    if (!d.mAudioCodec.isEmpty()) {
        if (!summary.isEmpty()) summary += QStringLiteral(" - ");
        summary += QStringLiteral("Audio: %1; %2Hz; %3 Kbps").arg(d.mAudioCodec).arg(d.mAudioSampleRate).arg(d.mAudioBitRate);
    }
    return summary;
}

}  // namespace

videoInformation::videoInformation(QStringList files, QObject* parent) : QThread(parent), files(std::move(files)) {}

videoInformation::videoInformation(QString file, QObject* parent)
    : videoInformation(QStringList{std::move(file)}, parent) {}

// An owner that drops the probe early must not destroy a running thread.
videoInformation::~videoInformation() { wait(); }

QString videoInformation::formatDuration(int seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString(QStringLiteral("hh:mm:ss"));
}

bool videoInformation::readFileInfo(const QString& path, videoDetails& out) {
    out.FileName = path;
    logDiagnostic(path.toStdString());

    // The library would wait without end on a FIFO dropped into the list.
    if (!isRegularFile(path)) return false;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr) < 0) return false;
    const FormatInputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) return false;

    bool haveVideo = false;
    bool haveAudio = false;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        AVStream* stream = input->streams[i];
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!decoder) continue;
        const CodecContextPtr codec(avcodec_alloc_context3(decoder));
        if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0) return false;

        const AVMediaType type = stream->codecpar->codec_type;
        // Cover art is a one-picture video stream; it is not the file's video.
        const bool isVideo = type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
        if (!isVideo && type != AVMEDIA_TYPE_AUDIO) continue;

        const int64_t duration = input->duration;  // microseconds; AV_NOPTS_VALUE when unknown
        out.mDuration = duration > 0 ? clampToInt(duration / AV_TIME_BASE) : 0;
        if (isVideo && !haveVideo) {
            haveVideo = true;
            takeVideoStream(input.get(), stream, decoder, out);
        } else if (type == AVMEDIA_TYPE_AUDIO && !haveAudio) {
            haveAudio = true;
            takeAudioStream(stream, decoder, out);
        }
    }

    if (!haveVideo) {
        out.mNBStreams = 0;
        out.mAudioCodec.clear();
        out.mDurationFormated = QString::fromLatin1(kUnreadableDuration);
        return false;
    }
    out.mDuration = std::max(out.mDuration, 0);
    out.mDurationFormated = formatDuration(out.mDuration);
    out.mNBStreams = clampToInt(input->nb_streams);
    out.mFileInformationResumed = summaryOf(out);
    return true;
}

void videoInformation::probeFile(const QString& path, const QString& failureSummary) {
    details = videoDetails{};
    if (!readFileInfo(path, details)) {
        details.mFileInformationResumed = failureSummary;
        details.mDurationFormated = QString::fromLatin1(kUnreadableDuration);
    }
    logDiagnostic(details.mFileInformationResumed.toStdString());
}

void videoInformation::run() {
    emit startFindInfo();
    for (const QString& path : files) {
        if (stopRequested.load()) break;
        probeFile(path, QStringLiteral("..."));
        emit FoundVideoDetails(details);
    }
    emit endFindInfo();
}

void videoInformation::probeNow() {
    emit startFindInfo();
    for (const QString& path : files) probeFile(path, QStringLiteral("Click to launch Diagnostic on this file"));
}
