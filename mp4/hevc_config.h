#pragma once
// The HEVC decoder configuration record of an 'hvcC' box.
#include <cstdint>
#include <string>
#include <vector>

#include "mp4/byte_reader.h"

namespace mp4 {

struct HevcConfig {
    std::uint8_t profileSpace = 0;
    std::uint8_t tierFlag = 0;
    std::uint8_t profileIdc = 0;
    std::uint32_t compatibilityFlags = 0;
    std::uint8_t constraintFlags[6] = {};
    std::uint8_t levelIdc = 0;
    std::uint8_t nalLengthSize = 0;
    struct Array {
        std::uint8_t nalUnitType = 0;
        std::vector<ByteSpan> units;
    };
    std::vector<Array> arrays;  // in record order
};

// False when the record is shorter than its counts say.
bool parseHevcConfig(ByteSpan payload, HevcConfig& out);

// "hvc1.1.6.L93.B0": format, profile space and profile, reversed compatibility flags, tier and
// level, and the constraint bytes without trailing zero bytes.
std::string hevcCodecString(std::uint32_t format, const HevcConfig& config);

}  // namespace mp4
