#include "mp4/avc_config.h"

#include <cstdio>

#include "mp4/fourcc_text.h"

namespace mp4 {

bool parseAvcConfig(ByteSpan payload, AvcConfig& out) {
    ByteReader reader(payload);
    reader.skip(1);  // configuration version
    out.profile = reader.u8();
    out.compatibility = reader.u8();
    out.level = reader.u8();
    out.nalLengthSize = static_cast<std::uint8_t>((reader.u8() & 0x03) + 1);
    const int spsCount = reader.u8() & 0x1F;
    for (int i = 0; i < spsCount && reader.ok(); ++i) {
        const std::uint16_t length = reader.u16();
        const ByteSpan unit = reader.take(length);
        if (reader.ok()) out.sequenceParameterSets.push_back(unit);
    }
    const int ppsCount = reader.u8();
    for (int i = 0; i < ppsCount && reader.ok(); ++i) {
        const std::uint16_t length = reader.u16();
        const ByteSpan unit = reader.take(length);
        if (reader.ok()) out.pictureParameterSets.push_back(unit);
    }
    return reader.ok();
}

std::string avcCodecString(std::uint32_t format, const AvcConfig& config) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%02X%02X%02X", config.profile, config.compatibility, config.level);
    return fourccText(format) + "." + digits;
}

}  // namespace mp4
