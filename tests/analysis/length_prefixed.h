#pragma once
// Hand-made windows of length-prefixed units and presets that allow chosen header words, for the
// frame finder's tests and the matching test's.
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "analysis/diag_preset.h"

inline bool operator==(const UnitRecord& a, const UnitRecord& b) {
    return a.type == b.type && a.offset == b.offset && a.size == b.size;
}
inline void PrintTo(const UnitRecord& u, std::ostream* os) { *os << "{" << u.type << ", " << u.offset << ", " << u.size << "}"; }

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

inline Bytes be32(std::uint32_t v) {
    return {Bytes::value_type(v >> 24), Bytes::value_type(v >> 16), Bytes::value_type(v >> 8), Bytes::value_type(v)};
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A length-prefixed unit: `head` then filler up to `size` bytes.
inline Bytes unit(std::uint32_t size, Bytes head) {
    head.resize(size, 0x5C);
    return cat({be32(size), head});
}

inline void allow(DiagPreset& preset, int type, std::uint32_t minSize, std::uint32_t maxSize,
                  std::initializer_list<std::uint32_t> words) {
    preset.nalStats[std::size_t(type)].minSize = minSize;
    preset.nalStats[std::size_t(type)].maxSize = maxSize;
    preset.nalStats[std::size_t(type)].headerWords = words;
}

}  // namespace testsupport
