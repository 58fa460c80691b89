#pragma once
// The raw byte sequence payload of a NAL unit: its bytes with the emulation-prevention bytes
// taken out (00 00 03 becomes 00 00), for reading its fields bit by bit.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mp4/byte_reader.h"

namespace mp4 {

// At most `limit` payload bytes of `unit` from `offset` on (the fields a record needs lie near
// the start, so a large unit is never copied whole).
std::vector<std::uint8_t> rbspOf(ByteSpan unit, std::size_t offset, std::size_t limit);

}  // namespace mp4
