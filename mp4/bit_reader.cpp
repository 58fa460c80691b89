#include "mp4/bit_reader.h"

namespace mp4 {

unsigned BitReader::readBit() {
    const std::size_t byte = bit_ >> 3;
    if (byte >= size_) {
        overrun_ = true;
        return 0;
    }
    const unsigned value = (data_[byte] >> (7 - (bit_ & 7))) & 1u;
    ++bit_;
    return value;
}

void BitReader::skipBits(std::size_t count) {
    if (count > size_ * 8 - bit_) {
        overrun_ = true;
        bit_ = size_ * 8;
        return;
    }
    bit_ += count;
}

std::uint32_t BitReader::readBits(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count && i < 32; ++i) value = (value << 1) | readBit();
    return value;
}

std::int64_t readUeGolomb(BitReader& reader) {
    int zeros = 0;
    while (reader.readBit() == 0) {
        if (++zeros >= 32) return -1;
    }
    if (zeros == 0) return 0;
    return (std::int64_t(1) << zeros) - 1 + reader.readBits(zeros);
}

std::int64_t readUeAtMost(BitReader& reader, std::int64_t max) {
    const std::int64_t value = readUeGolomb(reader);
    return value > max || reader.overrun() ? -1 : value;
}

bool skipSeGolomb(BitReader& reader) { return readUeGolomb(reader) >= 0; }

}  // namespace mp4
