#pragma once
// Words at a byte address (read, and one written): most significant byte first, as box headers, length words, NAL
// headers and sample tables hold them, and least significant first, as WAV files do. The caller
// has made sure the bytes are there; mp4::ByteReader is the bounded reader over a span.
#include <cstdint>

namespace mp4 {

inline std::uint16_t be16(const std::uint8_t* b) { return static_cast<std::uint16_t>((b[0] << 8) | b[1]); }

inline std::uint32_t be24(const std::uint8_t* b) {
    return (std::uint32_t(b[0]) << 16) | (std::uint32_t(b[1]) << 8) | b[2];
}

inline std::uint32_t be32(const std::uint8_t* b) {
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

inline std::uint64_t be64(const std::uint8_t* b) { return (std::uint64_t(be32(b)) << 32) | be32(b + 4); }

inline void putBe32(std::uint8_t* b, std::uint32_t word) {
    b[0] = std::uint8_t(word >> 24);
    b[1] = std::uint8_t(word >> 16);
    b[2] = std::uint8_t(word >> 8);
    b[3] = std::uint8_t(word);
}

// The `count` bytes (at most 4) at `b` as one word, for fields whose width the data declares
// (a track's NAL length size, a type's header word).
inline std::uint32_t beWord(const std::uint8_t* b, unsigned count) {
    std::uint32_t word = 0;
    for (unsigned i = 0; i < count; ++i) word = (word << 8) | b[i];
    return word;
}

inline std::uint32_t le32(const std::uint8_t* b) {
    return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[3]) << 24);
}

// The same over the bytes of a string or a byte array.
inline std::uint16_t be16(const char* b) { return be16(reinterpret_cast<const std::uint8_t*>(b)); }
inline std::uint32_t be32(const char* b) { return be32(reinterpret_cast<const std::uint8_t*>(b)); }
inline std::uint32_t le32(const char* b) { return le32(reinterpret_cast<const std::uint8_t*>(b)); }

}  // namespace mp4
