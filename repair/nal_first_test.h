#pragma once
// The first test of a NAL unit candidate, as the scan and the look-ahead after a candidate both
// ask it: a header word that its type's entry lists (or, for a Canon camera's type-1 slice, one of
// the Canon slice words) and a length inside the entry's range. The minimum is halved for slices
// (H.264 types 1 and 5) and for every H.265 type.
#include <cstdint>

#include "reference/records.h"
#include "repair/preset_traits.h"

// Bytes of a type's header word: three for H.264 type 5 and H.265 type 39, else two.
inline int headerWordBytes(int type, bool hevc) { return (hevc ? type == 39 : type == 5) ? 3 : 2; }

// The header word of a unit of `type` whose NAL header is at `unit` (at least
// headerWordBytes(type) bytes readable).
inline std::uint32_t headerWordOf(const std::uint8_t* unit, int type, bool hevc) {
    const std::uint32_t two = (std::uint32_t(unit[0]) << 8) | unit[1];
    return headerWordBytes(type, hevc) == 3 ? (two << 8) | unit[2] : two;
}

// The NAL unit type of the header byte `h`.
inline int nalTypeOf(std::uint8_t h, bool hevc) { return hevc ? (h >> 1) & 0x3F : h & 0x1F; }

// Whether a type's units are coded picture slices: H.264 types 1 to 5, H.265 types below 32.
inline bool isPictureType(int type, bool hevc) { return hevc ? type < 32 : type >= 1 && type <= 5; }

// The smallest length the first test takes for `type` under `entry`.
inline std::uint32_t firstTestMinimum(const NalTypeStats& entry, int type, bool hevc) {
    return hevc || type == 1 || type == 5 ? entry.minSize / 2 : entry.minSize;
}

// Whether a type-1 unit at `unit` (three bytes readable) carries one of the Canon slice words
// that a Canon preset's slices are accepted by. The scan asks it for H.264 only.
bool carriesCanonSliceWord(const PresetTraits& preset, int type, const std::uint8_t* unit);

// The first test on a unit of `type` with length word `length`, whose word is `listed` in the
// entry or not.
inline bool passesFirstTest(const NalTypeStats& entry, int type, bool hevc, bool listed, bool canonWord,
                            std::uint32_t length) {
    if (entry.maxSize < 1 || (!listed && !canonWord)) return false;
    return firstTestMinimum(entry, type, hevc) <= length && length <= entry.maxSize;
}
