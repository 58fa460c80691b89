#include "jobs/stream_mux.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
#include <libavutil/rational.h>
}

#include "jobs/access_units.h"
#include "jobs/decoder_config.h"
#include "jobs/length_prefixed.h"
#include "media/ffmpeg_handles.h"

namespace {

constexpr double kHighestFrameRate = 1000;
// Writable bytes in front of each unit read: the place of the first length when the unit's
// first start code lost its zero byte to the unit before.
constexpr std::size_t kHeadroom = 1;

// How the video packets reach the muxer, decided once per mux.
enum class PacketForm { AnnexB, LengthPrefixed };

// Formats whose samples hold length-prefixed NAL units behind an avcC / hvcC record.
const char* const kLengthPrefixedFormats[] = {"mp4", "mov", "3gp", "3g2", "ipod", "psp", "ismv"};

bool storesLengthPrefixed(const char* format) {
    for (const char* f : kLengthPrefixedFormats)
        if (std::strcmp(f, format) == 0) return true;
    return false;
}

struct OutputCloser {
    void operator()(AVFormatContext* c) const {
        if (c->pb) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputCloser>;

struct OwnedBuffer {
    AVBufferRef* ref = nullptr;
    ~OwnedBuffer() { av_buffer_unref(&ref); }
};

// Whole numbers are taken as they are (30000/1001 stays exact); anything else as the nearest
// fraction of the quotient. {0, 0} when the rate is not usable.
AVRational frameRateOf(double num, double den) {
    const double fps = num / den;
    if (!std::isfinite(fps) || fps <= 0 || fps > kHighestFrameRate) return {0, 0};
    if (num == std::floor(num) && den == std::floor(den) && num <= INT32_MAX && den <= INT32_MAX) {
        AVRational exact{};
        av_reduce(&exact.num, &exact.den, static_cast<std::int64_t>(num), static_cast<std::int64_t>(den), INT32_MAX);
        return exact;
    }
    return av_d2q(fps, 1000000);
}

// The audio file's first audio stream, read packet by packet; `pending` holds the packet read
// but not yet written.
class AudioSource {
public:
    bool open(const QString& path, std::string& error) {
        AVFormatContext* raw = nullptr;
        if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0) {
            error = "cannot open the audio";
            return false;
        }
        input_.reset(raw);
        if (avformat_find_stream_info(input_.get(), nullptr) < 0) {
            error = "cannot read the audio's format";
            return false;
        }
        index_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (index_ < 0) {
            error = "no audio stream in the audio file";
            return false;
        }
        pending_.reset(av_packet_alloc());
        if (!pending_) {
            error = "out of memory";
            return false;
        }
        return true;
    }

    AVStream* stream() const { return input_->streams[index_]; }

    // The next packet of the stream into pending(); false at the end (or on a read error).
    bool next() {
        // The muxer copies what it keeps of a written packet: the one before is ours to let go.
        av_packet_unref(pending_.get());
        while (av_read_frame(input_.get(), pending_.get()) >= 0) {
            if (pending_->stream_index == index_ && pending_->size > 0) {
                // A raw stream may leave the first times unset: they follow from the durations.
                if (pending_->dts == AV_NOPTS_VALUE) pending_->dts = nextDts_;
                if (pending_->pts == AV_NOPTS_VALUE) pending_->pts = pending_->dts;
                nextDts_ = pending_->dts + std::max<std::int64_t>(pending_->duration, 0);
                return true;
            }
            av_packet_unref(pending_.get());
        }
        return false;
    }
    AVPacket* pending() const { return pending_.get(); }

private:
    FormatInputPtr input_;
    PacketPtr pending_;
    int index_ = -1;
    std::int64_t nextDts_ = 0;
};

bool addVideoStream(AVFormatContext* output, const StreamTimeline& timeline, const std::vector<std::uint8_t>& extradata,
                    AVRational frameDuration) {
    AVStream* stream = avformat_new_stream(output, nullptr);
    if (!stream) return false;
    AVCodecParameters* par = stream->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = codecIdOf(timeline.codec);
    par->width = timeline.width;
    par->height = timeline.height;
    // The decoder configuration: a record, or the Annex B parameter sets a muxer makes one of.
    // The packets keep their own copies of the parameter sets.
    if (!extradata.empty()) {
        const std::size_t size = extradata.size();
        par->extradata = static_cast<std::uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!par->extradata) return false;
        std::copy(extradata.begin(), extradata.end(), par->extradata);
        par->extradata_size = static_cast<int>(size);
    }
    stream->time_base = frameDuration;
    stream->avg_frame_rate = av_inv_q(frameDuration);
    return true;
}

bool addAudioStream(AVFormatContext* output, const AVStream* input) {
    AVStream* stream = avformat_new_stream(output, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, input->codecpar) < 0) return false;
    stream->codecpar->codec_tag = 0;  // the output format's own tag for the codec
    stream->time_base = input->time_base;
    return true;
}

}  // namespace

MuxResult muxStreams(const MuxSources& sources, const QString& output, const char* format,
                     const MuxObserver& observer) {
    // Pass 1: the order counts, the picture size and the parameter sets.
    StreamTimeline timeline;
    MuxResult result;
    if (!readStreamTimeline(sources.video, timeline, result.error)) return result;
    return muxStreams(sources, timeline, output, format, observer);
}

MuxResult muxStreams(const MuxSources& sources, const StreamTimeline& timeline, const QString& output,
                     const char* format, const MuxObserver& observer) {
    MuxResult result;
    const AVRational frameRate = frameRateOf(sources.frameRateNum, sources.frameRateDen);
    if (frameRate.num <= 0 || frameRate.den <= 0) {
        result.error = "frame rate is not usable";
        return result;
    }
    const AVRational frameDuration = av_inv_q(frameRate);
    if (timeline.units.empty()) {
        result.error = "no frame in the video stream";
        return result;
    }

    // Parameter sets that make no record leave the packets in Annex B form, for the muxer to
    // convert as it would.
    std::vector<std::uint8_t> extradata;
    PacketForm form = PacketForm::AnnexB;
    if (storesLengthPrefixed(format) && decoderConfigOf(timeline.codec, timeline.parameterSets, extradata))
        form = PacketForm::LengthPrefixed;
    else
        extradata = timeline.parameterSets;

    AudioSource audio;
    bool withAudio = !sources.audio.isEmpty() && audio.open(sources.audio, result.audioError);
    bool audioLeft = withAudio && audio.next();
    if (withAudio && !audioLeft) {
        result.audioError = "no audio packet in the audio file";
        withAudio = false;
    }

    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, format, nullptr) < 0 || !raw) {
        result.error = std::string("cannot set up the ") + format + " output";
        return result;
    }
    OutputPtr out(raw);
    if (!addVideoStream(out.get(), timeline, extradata, frameDuration) || (withAudio && !addAudioStream(out.get(), audio.stream()))) {
        result.error = "cannot add the streams";
        return result;
    }
    int opened = avio_open(&out->pb, QFile::encodeName(output).constData(), AVIO_FLAG_WRITE);
    if (opened >= 0) opened = avformat_write_header(out.get(), nullptr);
    if (opened < 0) {
        result.error = "cannot write the output";
        result.writeError = opened;
        return result;
    }
    AVStream* videoStream = out->streams[0];
    AVStream* audioStream = withAudio ? out->streams[1] : nullptr;

    bool writeFailed = false;
    auto writeAudio = [&](AVPacket* packet) {
        av_packet_rescale_ts(packet, audio.stream()->time_base, audioStream->time_base);
        packet->stream_index = 1;
        packet->pos = -1;
        const int written = av_write_frame(out.get(), packet);
        if (written < 0) {
            writeFailed = true;
            result.writeError = written;
        }
        ++result.audioPackets;
        audioLeft = audio.next();
    };

    // Pass 2: the packets, unchanged, with their times; the audio that comes before each one
    // goes first. The packets are written in this order as they come (no interleaving queue in
    // the muxer, which would hold the whole video while it waits for audio that comes late).
    AccessUnitReader reader;
    PacketPtr packet(av_packet_alloc());
    if (!packet || !reader.open(sources.video)) {
        result.error = "cannot read the video stream";
        return result;
    }
    std::int64_t largest = 0;
    for (const AccessUnitPlace& unit : timeline.units) largest = std::max(largest, unit.size);
    // One buffer for every unit, read into in place; a new one only while the muxer still
    // holds the last.
    OwnedBuffer owned;
    AVBufferRef*& buffer = owned.ref;
    LengthPrefixer prefixer;
    for (std::size_t index = 0; index < timeline.units.size(); ++index) {
        const AccessUnitPlace& unit = timeline.units[index];
        if (!buffer || !av_buffer_is_writable(buffer)) {
            av_buffer_unref(&buffer);
            buffer = av_buffer_allocz(kHeadroom + static_cast<std::size_t>(largest) + AV_INPUT_BUFFER_PADDING_SIZE);
        }
        std::uint8_t* const unitBytes = buffer ? buffer->data + kHeadroom : nullptr;
        if (!buffer || !reader.read(unit, unitBytes)) {
            result.error = "read error in the video stream";
            return result;
        }
        LengthPrefixedUnit bytes{unitBytes, static_cast<std::size_t>(unit.size), true};
        AVBufferRef* holder = buffer;
        OwnedBuffer converted;  // only for a unit the prefixer could not convert in place
        if (form == PacketForm::LengthPrefixed) {
            bytes = prefixer.convert(unitBytes, bytes.size, kHeadroom);
            if (bytes.size == 0) {
                result.error = "an access unit of the video stream has no NAL unit";
                return result;
            }
            if (!bytes.inPlace) {
                converted.ref = av_buffer_alloc(bytes.size + AV_INPUT_BUFFER_PADDING_SIZE);
                if (!converted.ref) {
                    result.error = "out of memory";
                    return result;
                }
                std::memcpy(converted.ref->data, bytes.data, bytes.size);
                std::memset(converted.ref->data + bytes.size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
                bytes.data = converted.ref->data;
                holder = converted.ref;
            }
        }
        // Decoding starts `delay` frames before the first picture is shown, at presentation time 0.
        const std::int64_t dts = static_cast<std::int64_t>(index) - timeline.delay;
        const std::int64_t pts = timeline.display[index];
        while (audioLeft && !writeFailed &&
               av_compare_ts(audio.pending()->dts, audio.stream()->time_base, dts, frameDuration) <= 0)
            writeAudio(audio.pending());
        packet->buf = av_buffer_ref(holder);
        if (!packet->buf) {
            result.error = "out of memory";
            return result;
        }
        packet->data = bytes.data;
        packet->size = static_cast<int>(bytes.size);
        packet->stream_index = 0;
        packet->dts = av_rescale_q(dts, frameDuration, videoStream->time_base);
        packet->pts = av_rescale_q(pts, frameDuration, videoStream->time_base);
        packet->duration = av_rescale_q(1, frameDuration, videoStream->time_base);
        if (unit.order.key) packet->flags |= AV_PKT_FLAG_KEY;
        const int written = writeFailed ? -1 : av_write_frame(out.get(), packet.get());
        av_packet_unref(packet.get());
        if (written < 0) {
            result.error = "write error in the output";
            if (result.writeError == 0) result.writeError = written;
            return result;
        }
        result.videoFrames = static_cast<std::int64_t>(index + 1);
        MuxProgress progress;
        progress.frames = result.videoFrames;
        progress.seconds = static_cast<double>(pts + 1) * av_q2d(frameDuration);
        if (observer && !observer(progress)) {
            result.error = "stopped";
            return result;
        }
    }
    while (audioLeft && !writeFailed) writeAudio(audio.pending());
    int finished = writeFailed ? result.writeError : av_write_trailer(out.get());
    if (finished >= 0) finished = avio_closep(&out->pb);
    if (finished < 0) {
        result.error = "cannot finish the output";
        result.writeError = finished;
        return result;
    }
    result.ok = true;
    return result;
}
