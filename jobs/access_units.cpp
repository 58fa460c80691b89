#include "jobs/access_units.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "media/ffmpeg_handles.h"

namespace {

constexpr std::size_t kReadChunk = 1 << 20;
constexpr std::size_t kHeadBytes = 4096;

struct CodecSignature {
    StreamCodec codec;
    AVCodecID id;
    // The NAL unit headers that may open the stream (parameter sets, an access unit delimiter,
    // SEI, or a slice), by the header's first two bytes.
    bool (*opensStream)(std::uint8_t first, std::uint8_t second);
    // The units that make up the decoder configuration, by the header's first byte.
    bool (*isParameterSet)(std::uint8_t first);
};

int h264Type(std::uint8_t b) { return b & 0x1F; }
int hevcType(std::uint8_t b) { return (b >> 1) & 0x3F; }

// H.265's two-byte header is tested first: its second byte (layer 0, temporal id 0) rules out
// H.264's readings of the same first byte.
const CodecSignature kSignatures[] = {
    {StreamCodec::Hevc, AV_CODEC_ID_HEVC,
     [](std::uint8_t b, std::uint8_t next) {
         const int type = hevcType(b);
         return (b & 0x80) == 0 && next == 0x01 && ((type >= 32 && type <= 35) || type == 39 || type == 40);
     },
     [](std::uint8_t b) { return hevcType(b) >= 32 && hevcType(b) <= 34; }},
    {StreamCodec::H264, AV_CODEC_ID_H264,
     [](std::uint8_t b, std::uint8_t) {
         const int type = h264Type(b);
         return (b & 0x80) == 0 && (type == 1 || (type >= 5 && type <= 9));
     },
     [](std::uint8_t b) { return h264Type(b) == 7 || h264Type(b) == 8 || h264Type(b) == 13; }},
};

const CodecSignature* signatureOf(StreamCodec codec) {
    for (const CodecSignature& s : kSignatures)
        if (s.codec == codec) return &s;
    return nullptr;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr openForReading(const QString& path) { return FilePtr(std::fopen(QFile::encodeName(path).constData(), "rb")); }

// Start of the next start code (00 00 01) at or after `from`, or `size`.
std::size_t nextStartCode(const std::uint8_t* b, std::size_t size, std::size_t from) {
    for (std::size_t i = from; i + 3 <= size; ++i)
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) return i;
    return size;
}

// The parameter-set units of one access unit, each behind a four-byte start code.
std::vector<std::uint8_t> parameterSetsOf(const std::uint8_t* b, std::size_t size, const CodecSignature& codec) {
    static const std::uint8_t kStartCode[] = {0, 0, 0, 1};
    std::vector<std::uint8_t> sets;
    std::size_t at = nextStartCode(b, size, 0);
    while (at < size) {
        const std::size_t begin = at + 3;
        std::size_t end = nextStartCode(b, size, begin);
        const std::size_t next = end;
        // The zero byte of a four-byte start code belongs to the next one.
        while (end > begin && b[end - 1] == 0) --end;
        if (begin < end && codec.isParameterSet(b[begin])) {
            sets.insert(sets.end(), std::begin(kStartCode), std::end(kStartCode));
            sets.insert(sets.end(), b + begin, b + end);
        }
        at = next;
    }
    return sets;
}

}  // namespace

StreamCodec detectStreamCodec(const std::uint8_t* b, std::size_t length) {
    for (std::size_t i = 0; i + 4 < length; ++i) {
        if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1) continue;
        for (const CodecSignature& s : kSignatures)
            if (s.opensStream(b[i + 3], b[i + 4])) return s.codec;
        return StreamCodec::Unknown;
    }
    return StreamCodec::Unknown;
}

AVCodecID codecIdOf(StreamCodec codec) {
    const CodecSignature* s = signatureOf(codec);
    return s ? s->id : AV_CODEC_ID_NONE;
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

// libavcodec's parser also decodes each unit's picture order count and the picture size.
bool forEachAccessUnit(const QString& rawPath, AVCodecID id, const AccessUnitHandler& onUnit, std::string& error) {
    FilePtr file = openForReading(rawPath);
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
        AccessUnit unit;
        unit.data = out;
        unit.size = outSize;
        unit.order.pictureOrder = parser->output_picture_number;
        unit.order.key = parser->key_frame == 1;
        unit.width = parser->width;
        unit.height = parser->height;
        if (onUnit(unit)) return true;
        if (error.empty()) error = "stopped";
        return false;
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

bool readStreamTimeline(const QString& rawPath, StreamTimeline& timeline, std::string& error) {
    std::uint8_t head[kHeadBytes] = {};
    std::size_t headLength = 0;
    {
        FilePtr file = openForReading(rawPath);
        if (!file) {
            error = "cannot open the video stream";
            return false;
        }
        headLength = std::fread(head, 1, sizeof head, file.get());
        if (std::ferror(file.get())) {
            error = "cannot read the video stream";
            return false;
        }
    }
    timeline = StreamTimeline{};
    timeline.codec = detectStreamCodec(head, headLength);
    const CodecSignature* codec = signatureOf(timeline.codec);
    if (!codec) {
        error = "the video stream is neither H.264 nor H.265";
        return false;
    }
    const bool walked = forEachAccessUnit(rawPath, codec->id, [&](const AccessUnit& unit) {
        if (timeline.units.empty()) parameterSetsOf(unit.data, static_cast<std::size_t>(unit.size), *codec).swap(timeline.parameterSets);
        if (timeline.width == 0 && unit.width > 0 && unit.height > 0) {
            timeline.width = unit.width;
            timeline.height = unit.height;
        }
        timeline.units.push_back(unit.order);
        return true;
    }, error);
    if (!walked) return false;
    if (timeline.units.empty()) {
        error = "no frame in the video stream";
        return false;
    }
    timeline.display = displayPositions(timeline.units);
    for (std::size_t i = 0; i < timeline.display.size(); ++i)
        timeline.delay = std::max(timeline.delay, static_cast<std::int64_t>(i) - timeline.display[i]);
    return true;
}
