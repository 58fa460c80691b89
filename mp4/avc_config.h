#pragma once
// The AVC decoder configuration record of an 'avcC' box.
#include <cstdint>
#include <string>
#include <vector>

#include "mp4/byte_reader.h"

namespace mp4 {

struct AvcConfig {
    std::uint8_t profile = 0;
    std::uint8_t compatibility = 0;
    std::uint8_t level = 0;
    std::uint8_t nalLengthSize = 0;
    std::vector<ByteSpan> sequenceParameterSets;
    std::vector<ByteSpan> pictureParameterSets;
};

// False when the record is shorter than its counts say.
bool parseAvcConfig(ByteSpan payload, AvcConfig& out);

// "avc1.PPCCLL": the entry's format and profile, compatibility and level in hexadecimal.
std::string avcCodecString(std::uint32_t format, const AvcConfig& config);

}  // namespace mp4
