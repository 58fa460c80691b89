#pragma once
// Gives the repair engine's bare H.264/H.265 stream presentation times. A bare stream carries
// none, so a muxer stamps every frame in decode order; with B-frames the pictures then play
// out of order. Here each access unit is stamped from its picture order count (as the slice
// headers give it), sorted within each coded sequence, and the stream is copied, packets
// unchanged, into an MPEG transport stream that any muxer reads with its times.
#include <cstdint>
#include <string>
#include <vector>

#include <QString>

enum class StreamCodec { Unknown, H264, Hevc };

// The codec of an Annex B stream by its first NAL unit (the engine writes the parameter sets
// first: an H.264 SPS or PPS, an H.265 VPS, SPS or PPS).
StreamCodec detectStreamCodec(const std::uint8_t* bytes, std::size_t length);

struct AccessUnitOrder {
    int pictureOrder = 0;  // picture order count from the slice header
    bool key = false;
};

// Display position of every access unit, in decode order. A key frame whose order count does
// not exceed the highest one of the running sequence starts a new sequence (an IDR resets the
// count); within a sequence units are ranked by order count, ties by decode order. The result
// is a permutation of 0..n-1.
std::vector<std::int64_t> displayPositions(const std::vector<AccessUnitOrder>& units);

struct TimestampedStreamResult {
    bool ok = false;
    std::int64_t frames = 0;
    std::string error;
};

// Reads the raw stream at `rawPath` and writes `outputPath` with times at `fps` frames per
// second. Fails (writing nothing usable) on an unknown codec, a stream without frames, a
// frame rate that is not finite and positive, or a read or write error.
TimestampedStreamResult writeTimestampedStream(const QString& rawPath, double fps, const QString& outputPath);
