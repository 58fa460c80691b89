#include "mp4/movie_headers.h"

#include <limits>

#include "mp4/box_tree.h"

namespace mp4 {

namespace {

// mvhd and mdhd share their start: times, time scale and duration in 32 or 64 bits.
bool parseTimes(ByteSpan payload, std::uint32_t& timeScale, std::uint64_t& duration) {
    FullBox box;
    if (!readFullBox(payload, box)) return false;
    ByteReader reader(box.body);
    if (box.version == 1) {
        reader.skip(16);
        timeScale = reader.u32();
        duration = reader.u64();
    } else {
        reader.skip(8);
        timeScale = reader.u32();
        duration = reader.u32();
    }
    return reader.ok();
}

}  // namespace

bool parseMovieHeader(ByteSpan payload, MovieHeader& out) { return parseTimes(payload, out.timeScale, out.duration); }

bool parseMediaHeader(ByteSpan payload, MediaHeader& out) { return parseTimes(payload, out.timeScale, out.duration); }

bool parseTrackHeader(ByteSpan payload, TrackHeader& out) {
    FullBox box;
    if (!readFullBox(payload, box)) return false;
    ByteReader reader(box.body);
    reader.skip(box.version == 1 ? 16 : 8);   // creation and modification times
    out.trackId = reader.u32();
    reader.skip(4);                           // reserved
    reader.skip(box.version == 1 ? 8 : 4);    // duration
    reader.skip(8 + 2 + 2 + 2 + 2 + 36);      // reserved, layer, group, volume, reserved, matrix
    out.width = reader.u32();
    out.height = reader.u32();
    return reader.ok();
}

bool parseHandler(ByteSpan payload, Handler& out) {
    FullBox box;
    if (!readFullBox(payload, box)) return false;
    ByteReader reader(box.body);
    reader.skip(4);  // pre_defined (QuickTime's component type)
    out.handlerType = reader.u32();
    reader.skip(12);
    if (!reader.ok()) return false;
    const ByteSpan name = reader.rest();
    out.name.clear();
    if (name.empty()) return true;
    const std::size_t counted = name.data[0];
    bool pascal = counted + 1 == name.size;
    if (!pascal && counted < 0x20 && counted + 1 < name.size) {
        // A counted string padded with zero bytes.
        pascal = true;
        for (std::size_t i = counted + 1; i < name.size; ++i) pascal = pascal && name.data[i] == 0;
    }
    std::size_t start = pascal ? 1 : 0;
    std::size_t end = pascal ? counted + 1 : name.size;
    for (std::size_t i = start; i < end && name.data[i] != 0; ++i) out.name.push_back(static_cast<char>(name.data[i]));
    return true;
}

std::uint64_t convertTime(std::uint64_t value, std::uint32_t fromScale, std::uint32_t toScale) {
    if (fromScale == 0) return 0;
    const unsigned __int128 scaled = static_cast<unsigned __int128>(value) * toScale / fromScale;
    const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    return scaled > most ? most : static_cast<std::uint64_t>(scaled);
}

}  // namespace mp4
