#pragma once
// The NAL unit header as every reader of H.264 and H.265 units decodes it: the unit's type, the
// kinds of type the readers tell apart, and the header word that a reference description lists
// per type (the header with the byte behind it where that byte tells the type's units apart).
#include <cstdint>

#include "mp4/byte_order.h"

namespace mp4 {

// The NAL unit type of a header whose first byte is `h`: its low five bits in H.264, the six
// behind the forbidden bit in H.265.
constexpr int nalTypeOf(std::uint8_t h, bool hevc) { return hevc ? (h >> 1) & 0x3F : h & 0x1F; }

// Whether a type's units are coded picture slices: H.264 types 1 to 5, H.265 types below 32.
constexpr bool isPictureType(int type, bool hevc) { return hevc ? type < 32 : type >= 1 && type <= 5; }

// Whether a type's units are parameter sets: H.264's sequence and picture sets, H.265's video,
// sequence and picture sets.
constexpr bool isParameterSetType(int type, bool hevc) {
    return hevc ? type >= 32 && type <= 34 : type == 7 || type == 8;
}

// Bytes of a type's header word: three for H.264 type 5 (with the first slice-header byte) and
// H.265 type 39 (with the SEI payload type), else two.
constexpr int headerWordBytes(int type, bool hevc) { return (hevc ? type == 39 : type == 5) ? 3 : 2; }

// The header word of a unit of `type` whose NAL header is at `unit` (at least
// headerWordBytes(type) bytes readable).
inline std::uint32_t headerWordOf(const std::uint8_t* unit, int type, bool hevc) {
    return beWord(unit, static_cast<unsigned>(headerWordBytes(type, hevc)));
}

}  // namespace mp4
