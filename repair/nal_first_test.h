#pragma once
// The first test of a NAL unit candidate, as the scan and the look-ahead after a candidate both
// ask it: a header word that its type's entry lists (or, for a Canon camera's type-1 slice, one of
// the Canon slice words) and a length inside the entry's range.
#include <cstdint>

#include "mp4/nal_header.h"
#include "reference/records.h"
#include "repair/preset_traits.h"

// Whether the first test takes lengths down to half the entry's smallest: for H.264 slices of
// types 1 and 5 and for every H.265 type.
inline bool halvesMinimum(int type, bool hevc) { return hevc || type == 1 || type == 5; }

// The smallest length the first test takes for `type` under `entry`.
inline std::uint32_t firstTestMinimum(const NalTypeStats& entry, int type, bool hevc) {
    return halvesMinimum(type, hevc) ? entry.minSize / 2 : entry.minSize;
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
