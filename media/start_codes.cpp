#include "media/start_codes.h"

#include <cstring>

namespace {

// The first pair of zero bytes at or after `from` whose next byte `third` accepts, eight bytes
// at a time: coded picture data seldom holds two zero bytes in a row, so most words are passed
// over at once. `size` when there is none (a sequence cut by the end is not found).
template <typename Third>
std::size_t nextZeroPair(const std::uint8_t* b, std::size_t size, std::size_t from, Third third) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    std::size_t i = from;
    while (i + 10 <= size) {
        std::uint64_t here = 0, next = 0;
        std::memcpy(&here, b + i, 8);
        std::memcpy(&next, b + i + 1, 8);
        // A zero byte of (here | next) is a pair of zero bytes in the stream, in either byte order.
        const std::uint64_t pairs = here | next;
        if (((pairs - kOnes) & ~pairs & kHighs) == 0) {
            i += 8;
            continue;
        }
        for (const std::size_t end = i + 8; i < end; ++i)
            if (b[i] == 0 && b[i + 1] == 0 && third(b[i + 2])) return i;
    }
    for (; i + 3 <= size; ++i)
        if (b[i] == 0 && b[i + 1] == 0 && third(b[i + 2])) return i;
    return size;
}

}  // namespace

std::size_t nextStartCode(const std::uint8_t* b, std::size_t size, std::size_t from) {
    return nextZeroPair(b, size, from, [](std::uint8_t third) { return third == 1; });
}

std::size_t nextForbiddenZeros(const std::uint8_t* b, std::size_t size, std::size_t from) {
    return nextZeroPair(b, size, from, [](std::uint8_t third) { return third <= 2; });
}

void splitNalUnits(const std::uint8_t* b, std::size_t size, std::vector<NalRange>& units) {
    units.clear();
    std::size_t at = nextStartCode(b, size, 0);
    while (at < size) {
        NalRange unit;
        unit.startCode = at > 0 && b[at - 1] == 0 ? at - 1 : at;
        unit.begin = at + 3;
        const std::size_t next = nextStartCode(b, size, unit.begin);
        // The zero byte of a four-byte start code, and any trailing zeros, belong to no unit.
        std::size_t end = next;
        while (end > unit.begin && b[end - 1] == 0) --end;
        unit.end = end;
        units.push_back(unit);
        at = next;
    }
}
