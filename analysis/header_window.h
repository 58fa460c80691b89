#pragma once
// Bounded views of the header finder's file windows: big-endian reads that give 0 outside the
// window, byte ranges cut at its end, and the parse of a candidate parameter-set pair.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/header_finder.h"

namespace headerwindow {

using Window = std::vector<std::uint8_t>;

std::uint32_t be16(const Window& w, std::uint64_t pos);
std::uint32_t be32(const Window& w, std::uint64_t pos);
// The bytes [pos, pos + length) that lie in the window.
std::vector<std::uint8_t> bytesAt(const Window& w, std::uint64_t pos, std::uint64_t length);

inline bool inside(const Window& w, std::uint64_t pos, std::uint64_t length) {
    return pos <= w.size() && length <= w.size() - pos;
}

// Inline with a first-byte test: the searches call this at many offsets of their windows.
inline bool matches(const Window& w, std::uint64_t pos, const char* bytes, std::size_t count) {
    return inside(w, pos, count) && w[pos] == std::uint8_t(bytes[0]) && std::memcmp(w.data() + pos, bytes, count) == 0;
}

// The first position in [from, end) where all `count` bytes of `bytes` lie in the window and
// match; `end` when there is none. The searches run this over whole windows.
std::uint64_t findBytes(const Window& w, std::uint64_t from, std::uint64_t end, const char* bytes, std::size_t count);

// "00000001" followed by the unit's bytes as upper-case hex.
std::string annexBText(const std::vector<std::uint8_t>& unit);

struct PairParse {
    std::uint32_t spsType = 0;
    std::uint32_t ppsType = 0;
    int width = 0;
    int height = 0;
};

// Parses the SPS on a fresh parser state, then the PPS on the same state (when `pps` is
// given). `stopUnlessSps`: skip the PPS when the SPS is not type 7.
PairParse parsePair(const std::vector<std::uint8_t>& sps, const std::vector<std::uint8_t>* pps, bool stopUnlessSps);

}  // namespace headerwindow
