#pragma once
// The header boxes of the movie, its tracks and their media: mvhd, tkhd, mdhd (versions 0 and 1)
// and hdlr.
#include <cstdint>
#include <string>

#include "mp4/byte_reader.h"

namespace mp4 {

struct MovieHeader {
    std::uint32_t timeScale = 0;
    std::uint64_t duration = 0;
};

struct TrackHeader {
    std::uint32_t trackId = 0;
    std::uint32_t width = 0;   // 16.16 fixed point
    std::uint32_t height = 0;  // 16.16 fixed point
};

struct MediaHeader {
    std::uint32_t timeScale = 0;
    std::uint64_t duration = 0;
};

struct Handler {
    std::uint32_t handlerType = 0;
    std::string name;
};

// Each parser takes the box's payload; false when it is too short for its version.
bool parseMovieHeader(ByteSpan payload, MovieHeader& out);
bool parseTrackHeader(ByteSpan payload, TrackHeader& out);
bool parseMediaHeader(ByteSpan payload, MediaHeader& out);
// The name is a C string in ISO files and a counted (Pascal) string in QuickTime files.
bool parseHandler(ByteSpan payload, Handler& out);

// `value` in `fromScale` units expressed in `toScale` units, rounded down; 0 when `fromScale`
// is 0, and saturated at the largest 64-bit value.
std::uint64_t convertTime(std::uint64_t value, std::uint32_t fromScale, std::uint32_t toScale);

}  // namespace mp4
