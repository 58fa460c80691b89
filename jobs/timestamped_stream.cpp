#include "jobs/timestamped_stream.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include "media/ffmpeg_handles.h"

namespace {

constexpr std::size_t kReadChunk = 1 << 20;
const AVRational kTransportTimeBase{1, 90000};

struct CodecSignature {
    StreamCodec codec;
    AVCodecID id;
    bool (*matches)(std::uint8_t first, std::uint8_t second);
};

// One row per codec: the NAL unit headers that may open the stream (parameter sets, an access
// unit delimiter, SEI, or a slice). H.265's two-byte header is tested first: its second byte
// (layer 0, temporal id 0) rules out H.264's readings of the same first byte.
const CodecSignature kSignatures[] = {
    {StreamCodec::Hevc, AV_CODEC_ID_HEVC,
     [](std::uint8_t b, std::uint8_t next) {
         const int type = (b >> 1) & 0x3F;
         return (b & 0x80) == 0 && next == 0x01 && ((type >= 32 && type <= 35) || type == 39 || type == 40);
     }},
    {StreamCodec::H264, AV_CODEC_ID_H264,
     [](std::uint8_t b, std::uint8_t) {
         const int type = b & 0x1F;
         return (b & 0x80) == 0 && (type == 1 || (type >= 5 && type <= 9));
     }},
};

AVCodecID codecIdOf(StreamCodec codec) {
    for (const CodecSignature& s : kSignatures)
        if (s.codec == codec) return s.id;
    return AV_CODEC_ID_NONE;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

using FrameHandler = std::function<bool(const std::uint8_t* data, int size, const AccessUnitOrder& order)>;

// Splits the raw stream into access units with libavcodec's parser, which also decodes each
// unit's picture order count. Deterministic, so two passes see the same units.
bool forEachAccessUnit(const QString& rawPath, AVCodecID id, const FrameHandler& onFrame, std::string& error) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(QFile::encodeName(rawPath).constData(), "rb"));
    if (!file) {
        error = "cannot open the video stream";
        return false;
    }
    ParserPtr parser(av_parser_init(id));
    CodecContextPtr context(avcodec_alloc_context3(nullptr));
    if (!parser || !context) {
        error = "cannot set up the stream parser";
        return false;
    }
    std::vector<std::uint8_t> buffer(kReadChunk + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    auto deliver = [&](std::uint8_t* out, int outSize) {
        if (outSize <= 0) return true;
        AccessUnitOrder order;
        order.pictureOrder = parser->output_picture_number;
        order.key = parser->key_frame == 1;
        return onFrame(out, outSize, order);
    };
    auto parse = [&](const std::uint8_t* data, int length, int& used) {
        std::uint8_t* out = nullptr;
        int outSize = 0;
        used = av_parser_parse2(parser.get(), context.get(), &out, &outSize, data, length, AV_NOPTS_VALUE,
                                AV_NOPTS_VALUE, 0);
        if (used < 0) {
            error = "stream parser failed";
            return -1;
        }
        return deliver(out, outSize) ? outSize : -1;
    };
    while (true) {
        const std::size_t got = std::fread(buffer.data(), 1, kReadChunk, file.get());
        if (std::ferror(file.get())) {
            error = "read error in the video stream";
            return false;
        }
        const std::uint8_t* at = buffer.data();
        int left = static_cast<int>(got);
        while (left > 0) {
            int used = 0;
            const int produced = parse(at, left, used);
            if (produced < 0) return false;
            if (used == 0 && produced == 0) break;
            at += used;
            left -= used;
        }
        if (got < kReadChunk) break;
    }
    // An empty call hands over the unit the parser still holds.
    for (int produced = 1; produced > 0;) {
        int used = 0;
        produced = parse(nullptr, 0, used);
        if (produced < 0) return false;
    }
    return true;
}

struct OutputCloser {
    void operator()(AVFormatContext* c) const {
        if (c->pb) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};

}  // namespace

StreamCodec detectStreamCodec(const std::uint8_t* b, std::size_t length) {
    for (std::size_t i = 0; i + 4 < length; ++i) {
        if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1) continue;
        for (const CodecSignature& s : kSignatures)
            if (s.matches(b[i + 3], b[i + 4])) return s.codec;
        return StreamCodec::Unknown;
    }
    return StreamCodec::Unknown;
}

std::vector<std::int64_t> displayPositions(const std::vector<AccessUnitOrder>& units) {
    std::vector<std::int64_t> positions(units.size());
    std::size_t begin = 0;
    auto rankSequence = [&](std::size_t end) {
        std::vector<std::size_t> order(end - begin);
        std::iota(order.begin(), order.end(), begin);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return units[a].pictureOrder < units[b].pictureOrder; });
        for (std::size_t rank = 0; rank < order.size(); ++rank)
            positions[order[rank]] = static_cast<std::int64_t>(begin + rank);
    };
    int highest = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (i > begin && units[i].key && units[i].pictureOrder <= highest) {
            rankSequence(i);
            begin = i;
        }
        highest = i == begin ? units[i].pictureOrder : std::max(highest, units[i].pictureOrder);
    }
    rankSequence(units.size());
    return positions;
}

TimestampedStreamResult writeTimestampedStream(const QString& rawPath, double fps, const QString& outputPath) {
    TimestampedStreamResult result;
    if (!std::isfinite(fps) || fps <= 0 || fps > 1000) {
        result.error = "frame rate is not usable";
        return result;
    }
    std::uint8_t head[4096] = {};
    std::size_t headLength = 0;
    {
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(QFile::encodeName(rawPath).constData(), "rb"));
        if (!file) {
            result.error = "cannot open the video stream";
            return result;
        }
        headLength = std::fread(head, 1, sizeof head, file.get());
        if (std::ferror(file.get())) {
            result.error = "cannot read the video stream";
            return result;
        }
    }
    const StreamCodec codec = detectStreamCodec(head, headLength);
    if (codec == StreamCodec::Unknown) {
        result.error = "the video stream is neither H.264 nor H.265";
        return result;
    }
    const AVCodecID id = codecIdOf(codec);

    // Pass 1: the order counts.
    std::vector<AccessUnitOrder> units;
    if (!forEachAccessUnit(rawPath, id, [&](const std::uint8_t*, int, const AccessUnitOrder& order) {
            units.push_back(order);
            return true;
        }, result.error))
        return result;
    if (units.empty()) {
        result.error = "no frame in the video stream";
        return result;
    }
    const std::vector<std::int64_t> display = displayPositions(units);
    // Shift so that decode times start at 0 and never pass presentation times.
    std::int64_t delay = 0;
    for (std::size_t i = 0; i < display.size(); ++i) delay = std::max(delay, static_cast<std::int64_t>(i) - display[i]);

    // Pass 2: the packets, unchanged, with their times.
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mpegts", nullptr) < 0 || !raw) {
        result.error = "cannot set up the transport stream";
        return result;
    }
    std::unique_ptr<AVFormatContext, OutputCloser> output(raw);
    AVStream* stream = avformat_new_stream(output.get(), nullptr);
    if (!stream) {
        result.error = "cannot add the video stream";
        return result;
    }
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream->codecpar->codec_id = id;
    stream->time_base = kTransportTimeBase;
    const AVRational frameRate = av_d2q(fps, 1000000);
    stream->avg_frame_rate = frameRate;
    if (avio_open(&output->pb, QFile::encodeName(outputPath).constData(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(output.get(), nullptr) < 0) {
        result.error = "cannot write the transport stream";
        return result;
    }
    const AVRational frameDuration{frameRate.den, frameRate.num};
    std::size_t index = 0;
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    if (!packet) {
        result.error = "out of memory";
        return result;
    }
    const bool written = forEachAccessUnit(rawPath, id, [&](const std::uint8_t* data, int size, const AccessUnitOrder& order) {
        if (index >= units.size() || av_new_packet(packet.get(), size) < 0) return false;
        std::copy(data, data + size, packet->data);
        packet->stream_index = 0;
        packet->dts = av_rescale_q(static_cast<std::int64_t>(index), frameDuration, stream->time_base);
        packet->pts = av_rescale_q(display[index] + delay, frameDuration, stream->time_base);
        packet->duration = av_rescale_q(1, frameDuration, stream->time_base);
        if (order.key) packet->flags |= AV_PKT_FLAG_KEY;
        ++index;
        const int status = av_write_frame(output.get(), packet.get());
        av_packet_unref(packet.get());
        return status >= 0;
    }, result.error);
    if (!written || index != units.size()) {
        if (result.error.empty()) result.error = "write error in the transport stream";
        return result;
    }
    if (av_write_trailer(output.get()) < 0 || avio_closep(&output->pb) < 0) {
        result.error = "cannot finish the transport stream";
        return result;
    }
    result.ok = true;
    result.frames = static_cast<std::int64_t>(index);
    return result;
}
