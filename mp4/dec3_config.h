#pragma once
// The 'dec3' box of an enhanced AC-3 sample entry.
#include <cstdint>

#include "mp4/byte_reader.h"

namespace mp4 {

// The data rate (kbit/s, the first 13 bits); false when the box is shorter than two bytes.
bool parseDec3DataRate(ByteSpan payload, std::uint32_t& dataRate);

}  // namespace mp4
