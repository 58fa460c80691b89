#include "jobs/length_prefixed.h"

#include <cstring>

namespace {

constexpr std::size_t kLengthBytes = 4;

void writeLength(std::uint8_t* at, std::size_t length) {
    at[0] = static_cast<std::uint8_t>(length >> 24);
    at[1] = static_cast<std::uint8_t>(length >> 16);
    at[2] = static_cast<std::uint8_t>(length >> 8);
    at[3] = static_cast<std::uint8_t>(length);
}

}  // namespace

LengthPrefixedUnit LengthPrefixer::convert(std::uint8_t* data, std::size_t size, std::size_t headroom) {
    splitNalUnits(data, size, units_);
    if (units_.empty()) return {};
    for (std::size_t i = 0; i < units_.front().startCode; ++i)
        if (data[i] != 0) return {};
    std::uint8_t* const base = data - headroom;

    // In place works when each unit's length, written where the result has reached, ends at or
    // before the unit's first byte: the unit is then moved down (or not at all) before anything
    // later is overwritten.
    bool inPlace = true;
    std::size_t out = 0;
    for (const NalRange& unit : units_) {
        if (unit.begin == unit.end) continue;  // an empty unit has nothing to carry
        if (out + kLengthBytes > headroom + unit.begin) inPlace = false;
        out += kLengthBytes + (unit.end - unit.begin);
    }
    const std::size_t total = out;
    if (total == 0) return {};

    std::uint8_t* target = base;
    if (!inPlace) {
        spare_.resize(total);
        target = spare_.data();
    }
    out = 0;
    for (const NalRange& unit : units_) {
        const std::size_t length = unit.end - unit.begin;
        if (length == 0) continue;
        writeLength(target + out, length);
        std::uint8_t* const to = target + out + kLengthBytes;
        if (to != data + unit.begin) std::memmove(to, data + unit.begin, length);
        out += kLengthBytes + length;
    }
    return {target, total, inPlace};
}
