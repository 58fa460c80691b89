#pragma once
// Start codes (00 00 01) of an Annex B byte string, found at memory speed, and the NAL units
// they open.
#include <cstddef>
#include <cstdint>
#include <vector>

// Start of the next start code (00 00 01) at or after `from`, or `size` (a start code cut by
// the end is not found).
std::size_t nextStartCode(const std::uint8_t* bytes, std::size_t size, std::size_t from);

// Start of the first 00 00 00, 00 00 01 or 00 00 02 at or after `from`, or `size` when there is
// none. The bytes of a NAL unit never hold one: emulation prevention breaks every such sequence,
// so a length-prefixed "unit" that does is no unit.
std::size_t nextForbiddenZeros(const std::uint8_t* bytes, std::size_t size, std::size_t from = 0);

// One NAL unit of an Annex B byte string: its start code of three bytes, or four when a zero
// byte precedes it, and its bytes [begin, end) without trailing zero bytes.
struct NalRange {
    std::size_t startCode = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
};

// The NAL units of `bytes` in order, into `units` (cleared first); the bytes before the first
// start code are in none of them.
void splitNalUnits(const std::uint8_t* bytes, std::size_t size, std::vector<NalRange>& units);
