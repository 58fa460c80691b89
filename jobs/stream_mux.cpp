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
    Outcome open(const QString& path) {
        AVFormatContext* raw = nullptr;
        if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
            return Outcome::failed("cannot open the audio");
        input_.reset(raw);
        if (avformat_find_stream_info(input_.get(), nullptr) < 0) return Outcome::failed("cannot read the audio's format");
        index_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (index_ < 0) return Outcome::failed("no audio stream in the audio file");
        pending_.reset(av_packet_alloc());
        if (!pending_) return Outcome::failed("out of memory");
        return Outcome::done();
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

// How the video packets reach the muxer and with what decoder configuration. Parameter sets
// that make no record leave the packets in Annex B form, for the muxer to convert as it would.
struct VideoForm {
    PacketForm form = PacketForm::AnnexB;
    std::vector<std::uint8_t> extradata;
};

VideoForm videoFormFor(const StreamTimeline& timeline, const char* format) {
    VideoForm video;
    if (storesLengthPrefixed(format) && decoderConfigOf(timeline.codec, timeline.parameterSets, video.extradata))
        video.form = PacketForm::LengthPrefixed;
    else
        video.extradata = timeline.parameterSets;
    return video;
}

// One mux: the output, the audio read beside the video, and the result it fills in. Each step
// returns false once the mux has failed, with result.outcome saying why.
class StreamMuxer {
public:
    StreamMuxer(const MuxSources& sources, const StreamTimeline& timeline, const MuxObserver& observer,
                MuxResult& result)
        : sources_(sources), timeline_(timeline), observer_(observer), result_(result) {}

    bool open(const QString& output, const char* format);
    bool writeVideo();
    bool finish();

private:
    bool fail(std::string why) {
        result_.outcome = Outcome::failed(std::move(why));
        return false;
    }
    void openAudio();
    bool openOutput(const QString& output, const char* format);
    // The unit's bytes as the muxer takes them, in `buffer_` or in `converted`.
    bool readUnit(const AccessUnitPlace& unit, LengthPrefixedUnit& bytes, AVBufferRef*& holder, BufferPtr& converted);
    bool writeUnit(std::size_t index);
    // The audio packets that decode before `dts` (in frames), or all that are left.
    void writeAudioBefore(std::int64_t dts);
    void writeAudioRest();
    void writeAudio();

    const MuxSources& sources_;
    const StreamTimeline& timeline_;
    const MuxObserver& observer_;
    MuxResult& result_;
    AVRational frameDuration_{};
    VideoForm video_;
    AudioSource audio_;
    bool withAudio_ = false;
    bool audioLeft_ = false;
    bool writeFailed_ = false;
    FormatOutputPtr out_;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    AccessUnitReader reader_;
    PacketPtr packet_;
    // One buffer for every unit, read into in place; a new one only while the muxer still
    // holds the last.
    BufferPtr buffer_;
    std::size_t bufferBytes_ = 0;
    LengthPrefixer prefixer_;
};

bool StreamMuxer::open(const QString& output, const char* format) {
    const AVRational frameRate = frameRateOf(sources_.frameRateNum, sources_.frameRateDen);
    if (frameRate.num <= 0 || frameRate.den <= 0) return fail("frame rate is not usable");
    frameDuration_ = av_inv_q(frameRate);
    if (timeline_.units.empty()) return fail("no frame in the video stream");
    video_ = videoFormFor(timeline_, format);
    openAudio();
    if (!openOutput(output, format)) return false;

    packet_.reset(av_packet_alloc());
    if (!packet_ || !reader_.open(sources_.video)) return fail("cannot read the video stream");
    std::int64_t largest = 0;
    for (const AccessUnitPlace& unit : timeline_.units) largest = std::max(largest, unit.size);
    bufferBytes_ = kHeadroom + static_cast<std::size_t>(largest) + AV_INPUT_BUFFER_PADDING_SIZE;
    return true;
}

void StreamMuxer::openAudio() {
    if (sources_.audio.isEmpty()) return;
    result_.audio = audio_.open(sources_.audio);
    withAudio_ = result_.audio.ok();
    audioLeft_ = withAudio_ && audio_.next();
    if (withAudio_ && !audioLeft_) {
        result_.audio = Outcome::failed("no audio packet in the audio file");
        withAudio_ = false;
    }
}

bool StreamMuxer::openOutput(const QString& output, const char* format) {
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, format, nullptr) < 0 || !raw)
        return fail(std::string("cannot set up the ") + format + " output");
    out_.reset(raw);
    if (!addVideoStream(out_.get(), timeline_, video_.extradata, frameDuration_) ||
        (withAudio_ && !addAudioStream(out_.get(), audio_.stream())))
        return fail("cannot add the streams");
    int opened = avio_open(&out_->pb, QFile::encodeName(output).constData(), AVIO_FLAG_WRITE);
    if (opened >= 0) opened = avformat_write_header(out_.get(), nullptr);
    if (opened < 0) {
        result_.writeError = opened;
        return fail("cannot write the output");
    }
    videoStream_ = out_->streams[0];
    audioStream_ = withAudio_ ? out_->streams[1] : nullptr;
    return true;
}

// The packets, unchanged, with their times; the audio that comes before each one goes first.
// The packets are written in this order as they come (no interleaving queue in the muxer, which
// would hold the whole video while it waits for audio that comes late).
bool StreamMuxer::writeVideo() {
    for (std::size_t index = 0; index < timeline_.units.size(); ++index)
        if (!writeUnit(index)) return false;
    return true;
}

bool StreamMuxer::readUnit(const AccessUnitPlace& unit, LengthPrefixedUnit& bytes, AVBufferRef*& holder,
                           BufferPtr& converted) {
    if (!buffer_ || !av_buffer_is_writable(buffer_.get())) {
        buffer_.reset();
        buffer_.reset(av_buffer_allocz(bufferBytes_));
    }
    std::uint8_t* const unitBytes = buffer_ ? buffer_->data + kHeadroom : nullptr;
    if (!buffer_ || !reader_.read(unit, unitBytes)) return fail("read error in the video stream");
    bytes = LengthPrefixedUnit{unitBytes, static_cast<std::size_t>(unit.size), true};
    holder = buffer_.get();
    if (video_.form != PacketForm::LengthPrefixed) return true;
    bytes = prefixer_.convert(unitBytes, bytes.size, kHeadroom);
    if (bytes.size == 0) return fail("an access unit of the video stream has no NAL unit");
    if (bytes.inPlace) return true;
    // Only a unit the prefixer could not convert in place needs a buffer of its own.
    converted.reset(av_buffer_alloc(bytes.size + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!converted) return fail("out of memory");
    std::memcpy(converted->data, bytes.data, bytes.size);
    std::memset(converted->data + bytes.size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    bytes.data = converted->data;
    holder = converted.get();
    return true;
}

bool StreamMuxer::writeUnit(std::size_t index) {
    const AccessUnitPlace& unit = timeline_.units[index];
    LengthPrefixedUnit bytes;
    AVBufferRef* holder = nullptr;
    BufferPtr converted;
    if (!readUnit(unit, bytes, holder, converted)) return false;
    // Decoding starts `delay` frames before the first picture is shown, at presentation time 0.
    const std::int64_t dts = static_cast<std::int64_t>(index) - timeline_.delay;
    const std::int64_t pts = timeline_.display[index];
    writeAudioBefore(dts);
    AVPacket* packet = packet_.get();
    packet->buf = av_buffer_ref(holder);
    if (!packet->buf) return fail("out of memory");
    packet->data = bytes.data;
    packet->size = static_cast<int>(bytes.size);
    packet->stream_index = 0;
    packet->dts = av_rescale_q(dts, frameDuration_, videoStream_->time_base);
    packet->pts = av_rescale_q(pts, frameDuration_, videoStream_->time_base);
    packet->duration = av_rescale_q(1, frameDuration_, videoStream_->time_base);
    if (unit.order.key) packet->flags |= AV_PKT_FLAG_KEY;
    const int written = writeFailed_ ? -1 : av_write_frame(out_.get(), packet);
    av_packet_unref(packet);
    if (written < 0) {
        if (result_.writeError == 0) result_.writeError = written;
        return fail("write error in the output");
    }
    result_.videoFrames = static_cast<std::int64_t>(index + 1);
    MuxProgress progress;
    progress.frames = result_.videoFrames;
    progress.seconds = static_cast<double>(pts + 1) * av_q2d(frameDuration_);
    if (observer_ && !observer_(progress)) return fail("stopped");
    return true;
}

void StreamMuxer::writeAudioBefore(std::int64_t dts) {
    while (audioLeft_ && !writeFailed_ &&
           av_compare_ts(audio_.pending()->dts, audio_.stream()->time_base, dts, frameDuration_) <= 0)
        writeAudio();
}

void StreamMuxer::writeAudioRest() {
    while (audioLeft_ && !writeFailed_) writeAudio();
}

void StreamMuxer::writeAudio() {
    AVPacket* packet = audio_.pending();
    av_packet_rescale_ts(packet, audio_.stream()->time_base, audioStream_->time_base);
    packet->stream_index = 1;
    packet->pos = -1;
    const int written = av_write_frame(out_.get(), packet);
    if (written < 0) {
        writeFailed_ = true;
        result_.writeError = written;
    }
    ++result_.audioPackets;
    audioLeft_ = audio_.next();
}

bool StreamMuxer::finish() {
    writeAudioRest();
    int finished = writeFailed_ ? result_.writeError : av_write_trailer(out_.get());
    if (finished >= 0) finished = avio_closep(&out_->pb);
    if (finished < 0) {
        result_.writeError = finished;
        return fail("cannot finish the output");
    }
    return true;
}

}  // namespace

MuxResult muxStreams(const MuxSources& sources, const QString& output, const char* format,
                     const MuxObserver& observer) {
    // Pass 1: the order counts, the picture size and the parameter sets.
    StreamTimeline timeline;
    MuxResult result;
    result.outcome = readStreamTimeline(sources.video, timeline);
    if (!result.outcome) return result;
    return muxStreams(sources, timeline, output, format, observer);
}

// Pass 2, after the first walk over the video.
MuxResult muxStreams(const MuxSources& sources, const StreamTimeline& timeline, const QString& output,
                     const char* format, const MuxObserver& observer) {
    MuxResult result;
    StreamMuxer muxer(sources, timeline, observer, result);
    if (muxer.open(output, format) && muxer.writeVideo() && muxer.finish()) result.outcome = Outcome::done();
    return result;
}
