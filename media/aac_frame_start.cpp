#include "media/aac_frame_start.h"

namespace {

// Syntactic element ids of a raw data block.
constexpr unsigned kSingleChannel = 0;
constexpr unsigned kChannelPair = 1;
constexpr unsigned kLowFrequency = 3;
constexpr unsigned kDataStream = 4;
constexpr unsigned kFill = 6;
// Fill or data stream elements passed over before the first channel element.
constexpr int kLeadingElements = 3;

class Bits {
public:
    Bits(const std::uint8_t* data, std::size_t size) : data_(data), bits_(size * 8) {}
    // Reads n (<= 24) bits; false when they run past the end.
    bool read(int n, unsigned& value) {
        if (at_ + static_cast<std::size_t>(n) > bits_) return false;
        value = 0;
        for (int i = 0; i < n; ++i, ++at_) value = (value << 1) | ((data_[at_ >> 3] >> (7 - (at_ & 7))) & 1u);
        return true;
    }
    bool skipBytes(std::size_t n) {
        if (at_ + n * 8 > bits_) return false;
        at_ += n * 8;
        return true;
    }
    void byteAlign() { at_ = (at_ + 7) & ~static_cast<std::size_t>(7); }

private:
    const std::uint8_t* data_;
    std::size_t bits_;
    std::size_t at_ = 0;
};

bool firstChannelElement(unsigned id, int channelConfiguration) {
    if (channelConfiguration == 0) return id == kSingleChannel || id == kChannelPair || id == kLowFrequency;
    return id == (channelConfiguration == 2 ? kChannelPair : kSingleChannel);
}

// Passes over a fill or data stream element whose id was read; false when it runs past the end.
bool skipElement(Bits& bits, unsigned id) {
    unsigned value = 0;
    if (id == kFill) {
        unsigned count = 0;
        if (!bits.read(4, count)) return false;
        if (count == 15) {
            if (!bits.read(8, value)) return false;
            count += value - 1;
        }
        return bits.skipBytes(count);
    }
    unsigned align = 0, count = 0;
    if (!bits.read(4, value) || !bits.read(1, align) || !bits.read(8, count)) return false;
    if (count == 255) {
        if (!bits.read(8, value)) return false;
        count += value;
    }
    if (align) bits.byteAlign();
    return bits.skipBytes(count);
}

}  // namespace

int adtsChannelConfiguration(const std::uint8_t* b, std::size_t size) {
    if (!b || size < 7 || b[0] != 0xFF || (b[1] & 0xF6) != 0xF0) return -1;
    return ((b[2] & 0x01) << 2) | (b[3] >> 6);
}

bool opensLikeAacFrame(const std::uint8_t* bytes, std::size_t size, int channelConfiguration) {
    if (!bytes || size < 2) return false;
    if (bytes[0] == 0xFF && (bytes[1] & 0xF0) == 0xF0) return true;
    Bits bits(bytes, size);
    for (int element = 0; element <= kLeadingElements; ++element) {
        unsigned id = 0, tag = 0;
        if (!bits.read(3, id)) return false;
        if (firstChannelElement(id, channelConfiguration)) return bits.read(4, tag) && tag == 0;
        if ((id != kFill && id != kDataStream) || !skipElement(bits, id)) return false;
    }
    return false;
}
