#include "jobs/access_units.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numeric>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "media/start_codes.h"
#include "media/ffmpeg_handles.h"
#include "mp4/nal_header.h"

namespace {

constexpr std::size_t kHeadBytes = 4096;

struct CodecSignature {
    StreamCodec codec;
    AVCodecID id;
    // The NAL unit headers that may open the stream (parameter sets, an access unit delimiter,
    // SEI, or a slice), by the header's first two bytes.
    bool (*opensStream)(std::uint8_t first, std::uint8_t second);
    // The units that make up the decoder configuration, by the header's first byte.
    bool (*isParameterSet)(std::uint8_t first);
    // The units that carry picture data behind a slice header.
    bool (*isSlice)(std::uint8_t first);
};

int h264Type(std::uint8_t b) { return mp4::nalTypeOf(b, false); }
int hevcType(std::uint8_t b) { return mp4::nalTypeOf(b, true); }

// H.265's two-byte header is tested first: its second byte (layer 0, temporal id 0) rules out
// H.264's readings of the same first byte.
const CodecSignature kSignatures[] = {
    {StreamCodec::Hevc, AV_CODEC_ID_HEVC,
     [](std::uint8_t b, std::uint8_t next) {
         const int type = hevcType(b);
         return (b & 0x80) == 0 && next == 0x01 && ((type >= 32 && type <= 35) || type == 39 || type == 40);
     },
     [](std::uint8_t b) { return mp4::isParameterSetType(hevcType(b), true); },
     [](std::uint8_t b) { return mp4::isPictureType(hevcType(b), true); }},
    {StreamCodec::H264, AV_CODEC_ID_H264,
     [](std::uint8_t b, std::uint8_t) {
         const int type = h264Type(b);
         return (b & 0x80) == 0 && (type == 1 || (type >= 5 && type <= 9));
     },
     [](std::uint8_t b) { return h264Type(b) == 7 || h264Type(b) == 8 || h264Type(b) == 13; },
     [](std::uint8_t b) { return mp4::isPictureType(h264Type(b), false); }},
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

// The parameter-set units of one access unit, each behind a four-byte start code.
std::vector<std::uint8_t> parameterSetsOf(const std::uint8_t* b, std::size_t size, const CodecSignature& codec) {
    static const std::uint8_t kStartCode[] = {0, 0, 0, 1};
    std::vector<NalRange> units;
    splitNalUnits(b, size, units);
    std::vector<std::uint8_t> sets;
    for (const NalRange& unit : units) {
        if (unit.begin < unit.end && codec.isParameterSet(b[unit.begin])) {
            sets.insert(sets.end(), std::begin(kStartCode), std::end(kStartCode));
            sets.insert(sets.end(), b + unit.begin, b + unit.end);
        }
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

namespace {

// One NAL unit of the raw stream: where its start code (00 00 01) lies, and where its copy
// begins in the stream of heads the parser reads.
struct NalStart {
    std::int64_t origin;
    std::int64_t head;
};

// Finds the NAL units of the raw stream chunk by chunk and builds the stream of heads: each
// unit behind a four-byte start code, a slice only up to kSliceHeadBytes (its header lies
// well inside them), any other unit whole up to kLargestWholeUnit (parameter sets, SEI and
// delimiters are small). Searching for the start codes' 01 bytes with memchr reads the stream
// at memory speed; the parser then works on a few hundred bytes per picture.
class HeadStream {
public:
    explicit HeadStream(const CodecSignature& codec) : codec_(codec) {}

    void scan(const std::uint8_t* b, std::size_t n, std::int64_t base) {
        // A start code whose zeros ended the chunk before.
        std::size_t pos = 0;
        if (n >= 1 && zeros_ >= 2 && b[0] == 1) {
            startUnit(base - 2);
            pos = 1;
        } else if (n >= 2 && zeros_ >= 1 && b[0] == 0 && b[1] == 1) {
            startUnit(base - 1);
            pos = 2;
        }
        while (pos < n) {
            if (needHeader_) {
                quota_ = codec_.isSlice(b[pos]) ? kSliceHeadBytes : kLargestWholeUnit;
                needHeader_ = false;
            }
            const std::size_t at = nextStartCode(b, n, pos);
            copy(b + pos, at - pos);
            if (at + 3 > n) break;  // none complete in this chunk
            startUnit(base + static_cast<std::int64_t>(at));
            pos = at + 3;
        }
        // Zeros at the chunk's end may open a start code that the next chunk completes.
        if (n >= 2 && b[n - 1] == 0 && b[n - 2] == 0)
            zeros_ = 2;
        else if (n >= 1 && b[n - 1] == 0)
            zeros_ = zeros_ >= 1 && n == 1 ? 2 : 1;
        else if (n >= 1)
            zeros_ = 0;
    }

    // Head bytes not yet handed to the parser; taken by the caller.
    std::vector<std::uint8_t>& pending() { return pending_; }
    const std::vector<NalStart>& starts() const { return starts_; }

private:
    static constexpr std::size_t kSliceHeadBytes = 512;
    static constexpr std::size_t kLargestWholeUnit = 1 << 16;

    void copy(const std::uint8_t* p, std::size_t length) {
        const std::size_t take = std::min(length, quota_);
        pending_.insert(pending_.end(), p, p + take);
        quota_ -= take;
        headBytes_ += static_cast<std::int64_t>(take);
    }
    void startUnit(std::int64_t origin) {
        static const std::uint8_t kStartCode[] = {0, 0, 0, 1};
        starts_.push_back({origin, headBytes_});
        pending_.insert(pending_.end(), std::begin(kStartCode), std::end(kStartCode));
        headBytes_ += 4;
        quota_ = 0;
        needHeader_ = true;
    }

    const CodecSignature& codec_;
    std::vector<NalStart> starts_;
    std::vector<std::uint8_t> pending_;
    std::int64_t headBytes_ = 0;
    std::size_t quota_ = 0;  // bytes of the current unit still to copy
    bool needHeader_ = false;
    int zeros_ = 0;  // zero bytes at the end of the chunk before, up to 2
};

// The parser splits in front of a unit's start code, at most a few zero bytes before it
// (trailing zeros of the unit before) or inside it. `cursor` only moves forward.
bool originOf(std::int64_t headOffset, const std::vector<NalStart>& starts, std::size_t& cursor, std::int64_t& origin) {
    while (cursor < starts.size() && starts[cursor].head + 4 < headOffset) ++cursor;
    if (cursor >= starts.size() || starts[cursor].head > headOffset + 4) return false;
    origin = starts[cursor].origin;
    return true;
}

// libavcodec's parser splits the heads into access units and decodes each one's picture order
// count, key flag and the picture size; the unit's place in the raw stream follows from the
// NAL unit it starts with. Each step returns false with `error` set once the walk has failed.
class TimelineParser {
public:
    TimelineParser(const CodecSignature& codec, HeadStream& heads, StreamTimeline& timeline, std::string& error)
        : codec_(codec),
          heads_(heads),
          timeline_(timeline),
          error_(error),
          parser_(av_parser_init(codec.id)),
          context_(avcodec_alloc_context3(nullptr)) {}

    bool ready() const { return parser_ && context_; }
    // Parses the head bytes the last scan added.
    bool feedPending() {
        std::vector<std::uint8_t>& pending = heads_.pending();
        const int length = static_cast<int>(pending.size());
        pending.resize(pending.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        const bool fed = length == 0 || parse(pending.data(), length);
        pending.clear();
        return fed;
    }
    // Hands over the last unit.
    bool finish() { return parse(nullptr, 0); }

private:
    bool fail(const char* why) {
        error_ = why;
        return false;
    }
    // `data` must be followed by the parser's zeroed padding; null hands over the last unit.
    bool parse(const std::uint8_t* data, int length) {
        while (true) {
            std::uint8_t* out = nullptr;
            int outSize = 0;
            const int used = av_parser_parse2(parser_.get(), context_.get(), &out, &outSize, data, length,
                                              AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (used < 0) return fail("stream parser failed");
            if (!deliver(out, outSize)) return false;
            if (!data) {
                if (outSize <= 0) return true;
                continue;
            }
            data += used;
            length -= used;
            if (length <= 0 || (used == 0 && outSize == 0)) return true;
        }
    }
    bool deliver(std::uint8_t* out, int outSize) {
        if (outSize <= 0) return true;
        AccessUnitPlace unit;
        if (!timeline_.units.empty() && !originOf(headOffset_, heads_.starts(), cursor_, unit.offset))
            return fail("the stream parser split the stream inside a unit");
        if (timeline_.units.empty())
            parameterSetsOf(out, static_cast<std::size_t>(outSize), codec_).swap(timeline_.parameterSets);
        headOffset_ += outSize;
        unit.order.pictureOrder = parser_->output_picture_number;
        unit.order.key = parser_->key_frame == 1;
        if (timeline_.width == 0 && parser_->width > 0 && parser_->height > 0) {
            timeline_.width = parser_->width;
            timeline_.height = parser_->height;
        }
        timeline_.units.push_back(unit);
        return true;
    }

    const CodecSignature& codec_;
    HeadStream& heads_;
    StreamTimeline& timeline_;
    std::string& error_;
    ParserPtr parser_;
    CodecContextPtr context_;
    std::int64_t headOffset_ = 0;  // of the next unit the parser gives
    std::size_t cursor_ = 0;
};

// The units' sizes, now that the stream's end is known, and the order they are shown in.
bool completeTimeline(StreamTimeline& timeline, std::int64_t streamEnd, std::string& error) {
    if (timeline.units.empty()) {
        error = "no frame in the video stream";
        return false;
    }
    // The units tile the stream: the first from its start, each to the next one's start.
    for (std::size_t i = 0; i < timeline.units.size(); ++i) {
        const std::int64_t end = i + 1 < timeline.units.size() ? timeline.units[i + 1].offset : streamEnd;
        timeline.units[i].size = end - timeline.units[i].offset;
        if (timeline.units[i].size <= 0) {
            error = "the stream parser gave units out of order";
            return false;
        }
    }
    std::vector<AccessUnitOrder> orders(timeline.units.size());
    for (std::size_t i = 0; i < orders.size(); ++i) orders[i] = timeline.units[i].order;
    timeline.display = displayPositions(orders);
    for (std::size_t i = 0; i < timeline.display.size(); ++i)
        timeline.delay = std::max(timeline.delay, static_cast<std::int64_t>(i) - timeline.display[i]);
    return true;
}

bool walkStreamTimeline(const QString& rawPath, StreamTimeline& timeline, std::string& error, std::size_t chunkBytes,
                        const std::function<bool()>& stopped) {
    FilePtr file = openForReading(rawPath);
    if (!file) {
        error = "cannot open the video stream";
        return false;
    }
    std::vector<std::uint8_t> buffer(std::max(chunkBytes, kHeadBytes));
    std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    if (std::ferror(file.get())) {
        error = "cannot read the video stream";
        return false;
    }
    timeline = StreamTimeline{};
    timeline.codec = detectStreamCodec(buffer.data(), std::min(got, kHeadBytes));
    const CodecSignature* codec = signatureOf(timeline.codec);
    if (!codec) {
        error = "the video stream is neither H.264 nor H.265";
        return false;
    }
    HeadStream heads(*codec);
    TimelineParser parser(*codec, heads, timeline, error);
    if (!parser.ready()) {
        error = "cannot set up the stream parser";
        return false;
    }

    std::int64_t position = 0;
    while (got > 0) {
        if (stopped && stopped()) {
            error = "stopped";
            return false;
        }
        heads.scan(buffer.data(), got, position);
        position += static_cast<std::int64_t>(got);
        if (!parser.feedPending()) return false;
        got = std::fread(buffer.data(), 1, std::max<std::size_t>(chunkBytes, 1), file.get());
        if (std::ferror(file.get())) {
            error = "read error in the video stream";
            return false;
        }
    }
    return parser.finish() && completeTimeline(timeline, position, error);
}

}  // namespace

Outcome readStreamTimeline(const QString& rawPath, StreamTimeline& timeline, std::size_t chunkBytes,
                           const std::function<bool()>& stopped) {
    std::string error;
    if (walkStreamTimeline(rawPath, timeline, error, chunkBytes, stopped)) return Outcome::done();
    return Outcome::failed(error);
}

struct AccessUnitReader::File {
    FilePtr handle;
};

AccessUnitReader::AccessUnitReader() = default;
AccessUnitReader::~AccessUnitReader() = default;

bool AccessUnitReader::open(const QString& rawPath) {
    file_ = std::make_unique<File>();
    file_->handle = openForReading(rawPath);
    position_ = 0;
    return file_->handle != nullptr;
}

bool AccessUnitReader::read(const AccessUnitPlace& unit, std::uint8_t* into) {
    if (!file_ || !file_->handle) return false;
    // The units follow each other, so a seek is only needed out of order.
    if (unit.offset != position_ && fseeko(file_->handle.get(), unit.offset, SEEK_SET) != 0) return false;
    const std::size_t size = static_cast<std::size_t>(unit.size);
    if (std::fread(into, 1, size, file_->handle.get()) != size) return false;
    position_ = unit.offset + unit.size;
    return true;
}
