#include "media/aac_frame_start.h"

#include "mp4/bit_reader.h"

namespace {

// Fill or data stream elements passed over before the first channel element.
constexpr int kLeadingElements = 3;

}  // namespace

bool opensWithChannelElement(const std::uint8_t* data, std::size_t available, const mp4::ChannelElement& first) {
    mp4::BitReader bits(data, available);
    for (int element = 0; element <= kLeadingElements; ++element) {
        const int id = static_cast<int>(bits.readBits(3));
        if (bits.overrun()) return false;
        if (id == first.id) return static_cast<int>(bits.readBits(4)) == first.tag && !bits.overrun();
        std::uint32_t count = 0;
        if (id == mp4::kFillElement) {
            count = bits.readBits(4);
            if (count == 15) count += bits.readBits(8) - 1;
        } else if (id == mp4::kDataStreamElement) {
            bits.readBits(4);  // tag
            const bool align = bits.readBit() != 0;
            count = bits.readBits(8);
            if (count == 255) count += bits.readBits(8);
            if (align) bits.skipBits((8 - bits.position() % 8) % 8);
        } else {
            return false;
        }
        bits.skipBits(std::size_t(count) * 8);
    }
    return false;
}
