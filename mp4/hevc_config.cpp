#include "mp4/hevc_config.h"

#include <cstdio>

#include "mp4/fourcc_text.h"

namespace mp4 {

bool parseHevcConfig(ByteSpan payload, HevcConfig& out) {
    ByteReader reader(payload);
    reader.skip(1);  // configuration version
    const std::uint8_t profile = reader.u8();
    out.profileSpace = profile >> 6;
    out.tierFlag = (profile >> 5) & 1;
    out.profileIdc = profile & 0x1F;
    out.compatibilityFlags = reader.u32();
    for (std::uint8_t& byte : out.constraintFlags) byte = reader.u8();
    out.levelIdc = reader.u8();
    reader.skip(2 + 1 + 1 + 1 + 1 + 2);  // segmentation, parallelism, chroma, bit depths, frame rate
    out.nalLengthSize = static_cast<std::uint8_t>((reader.u8() & 0x03) + 1);
    const int arrayCount = reader.u8();
    for (int a = 0; a < arrayCount && reader.ok(); ++a) {
        HevcConfig::Array array;
        array.nalUnitType = reader.u8() & 0x3F;
        const int unitCount = reader.u16();
        for (int u = 0; u < unitCount && reader.ok(); ++u) {
            const std::uint16_t length = reader.u16();
            const ByteSpan unit = reader.take(length);
            if (reader.ok()) array.units.push_back(unit);
        }
        out.arrays.push_back(std::move(array));
    }
    return reader.ok();
}

std::string hevcCodecString(std::uint32_t format, const HevcConfig& config) {
    static const char* const kSpaces[] = {"", "A", "B", "C"};
    std::uint32_t reversed = 0;
    for (int i = 0; i < 32; ++i)
        if (config.compatibilityFlags & (1u << i)) reversed |= 1u << (31 - i);
    char text[64];
    std::snprintf(text, sizeof text, ".%s%u.%X.%c%u", kSpaces[config.profileSpace & 3], unsigned(config.profileIdc),
                  unsigned(reversed), config.tierFlag ? 'H' : 'L', unsigned(config.levelIdc));
    std::string codec = fourccText(format) + text;
    int last = 5;
    while (last >= 0 && config.constraintFlags[last] == 0) --last;
    for (int i = 0; i <= last; ++i) {
        std::snprintf(text, sizeof text, ".%X", unsigned(config.constraintFlags[i]));
        codec += text;
    }
    return codec;
}

}  // namespace mp4
