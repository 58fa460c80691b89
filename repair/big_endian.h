#pragma once
// The big-endian 32-bit word at `b`, as length words and box codes stand in the media data.
#include <cstdint>

inline std::uint32_t be32(const std::uint8_t* b) {
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}
