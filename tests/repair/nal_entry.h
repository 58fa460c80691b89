#pragma once
// One per-type entry of a hand-made reference, for the engine tests.
#include <cstdint>
#include <initializer_list>

#include "reference/records.h"

inline NalTypeStats nalEntry(std::uint32_t min, std::uint32_t max, int type, std::initializer_list<std::uint32_t> words) {
    NalTypeStats e;
    e.minSize = min;
    e.maxSize = max;
    e.type = type;
    for (std::uint32_t w : words) e.addHeaderWord(w);
    return e;
}
