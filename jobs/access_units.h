#pragma once
// The engine's bare H.264/H.265 stream as access units with their order: the codec by the
// stream's first NAL unit, each unit's picture order count and key flag from libavcodec's
// parser, and from those the position at which each unit is shown. A bare stream carries no
// times, so whoever muxes it stamps the pictures from these.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QString>

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

struct AccessUnit {
    const std::uint8_t* data = nullptr;
    int size = 0;
    AccessUnitOrder order;
    int width = 0;  // picture size as the parser read it from the parameter sets; 0 when unknown
    int height = 0;
};

// Returns false to stop the walk (which then fails).
using AccessUnitHandler = std::function<bool(const AccessUnit& unit)>;

// Splits the raw stream at `rawPath` into access units, in decode order. Deterministic, so two
// walks see the same units. False (with `error`) on a read or parser failure or a stop.
bool forEachAccessUnit(const QString& rawPath, AVCodecID id, const AccessUnitHandler& onUnit, std::string& error);

// What a muxer needs to know of the stream before the first packet.
struct StreamTimeline {
    StreamCodec codec = StreamCodec::Unknown;
    std::vector<AccessUnitOrder> units;
    std::vector<std::int64_t> display;  // displayPositions(units)
    // Frames by which decoding runs ahead of display at most: unit i decodes at i - delay and is
    // shown at display[i], never before it is decoded.
    std::int64_t delay = 0;
    int width = 0;
    int height = 0;
    // The parameter sets at the head of the stream, in Annex B form: the decoder configuration.
    std::vector<std::uint8_t> parameterSets;
};

// The first walk over the stream. False (with `error`) on an unknown codec, a stream without
// units, or a read failure.
bool readStreamTimeline(const QString& rawPath, StreamTimeline& timeline, std::string& error);
