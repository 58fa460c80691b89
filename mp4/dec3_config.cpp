#include "mp4/dec3_config.h"

namespace mp4 {

bool parseDec3DataRate(ByteSpan payload, std::uint32_t& dataRate) {
    ByteReader reader(payload);
    const std::uint16_t head = reader.u16();
    if (!reader.ok()) return false;
    dataRate = head >> 3;
    return true;
}

}  // namespace mp4
