#pragma once
// The engine's bare H.264/H.265 stream as access units with their order: the codec by the
// stream's first NAL unit, each unit's picture order count and key flag from libavcodec's
// parser, and from those the position at which each unit is shown. A bare stream carries no
// times, so whoever muxes it stamps the pictures from these.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QString>

#include "mp4/outcome.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

enum class StreamCodec { Unknown, H264, Hevc };

// The codec of an Annex B stream by its first NAL unit (the engine writes the parameter sets
// first: an H.264 SPS or PPS, an H.265 VPS, SPS or PPS).
StreamCodec detectStreamCodec(const std::uint8_t* bytes, std::size_t length);

AVCodecID codecIdOf(StreamCodec codec);

struct AccessUnitOrder {
    int pictureOrder = 0;  // picture order count from the slice header
    bool key = false;
};

// Display position of every access unit, in decode order. A key frame whose order count does
// not exceed the highest one of the running sequence starts a new sequence (an IDR resets the
// count); within a sequence units are ranked by order count, ties by decode order. The result
// is a permutation of 0..n-1.
std::vector<std::int64_t> displayPositions(const std::vector<AccessUnitOrder>& units);

// Where an access unit lies in the raw stream and what its pictures are. The units tile the
// stream: each starts where the one before it ends, the first at 0, the last ends at its end.
struct AccessUnitPlace {
    std::int64_t offset = 0;
    std::int64_t size = 0;
    AccessUnitOrder order;
};

// What a muxer needs to know of the stream before the first packet.
struct StreamTimeline {
    StreamCodec codec = StreamCodec::Unknown;
    std::vector<AccessUnitPlace> units;  // in decode order
    std::vector<std::int64_t> display;   // displayPositions of the units' orders
    // Frames by which decoding runs ahead of display at most: unit i decodes at i - delay and is
    // shown at display[i], never before it is decoded.
    std::int64_t delay = 0;
    int width = 0;  // picture size as the parser read it from the parameter sets; 0 when unknown
    int height = 0;
    // The parameter sets of the first access unit, in Annex B form: the decoder configuration.
    std::vector<std::uint8_t> parameterSets;
};

// The first walk over the stream: the units' places, order counts and key flags, split by
// libavcodec's parser. The stream's NAL units are found here at memory speed, and the parser
// sees each slice only up to its header (other units whole), so it never walks the picture data.
// Fails (with the reason) on an unknown codec, a stream without units, or a read failure.
// `chunkBytes` is how much is read at a time (any size gives the same timeline).
// `stopped` is asked before each chunk; true ends the walk as a failure ("stopped").
constexpr std::size_t kTimelineChunkBytes = 8 << 20;
Outcome readStreamTimeline(const QString& rawPath, StreamTimeline& timeline,
                           std::size_t chunkBytes = kTimelineChunkBytes, const std::function<bool()>& stopped = {});

// The second walk: the units' bytes read by their places, in decode order.
class AccessUnitReader {
public:
    AccessUnitReader();
    ~AccessUnitReader();
    AccessUnitReader(const AccessUnitReader&) = delete;
    AccessUnitReader& operator=(const AccessUnitReader&) = delete;

    bool open(const QString& rawPath);
    // Reads `unit`'s bytes to `into` (room for unit.size bytes); false on a read failure.
    bool read(const AccessUnitPlace& unit, std::uint8_t* into);

private:
    struct File;
    std::unique_ptr<File> file_;
    std::int64_t position_ = 0;
};
