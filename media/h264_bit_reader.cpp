#include "media/h264_bit_reader.h"

BitReader::BitReader(const std::uint8_t* data, std::uint64_t size)
    : current_(data), end_(data + size) {}

unsigned BitReader::readBit() {
    if (current_ == end_) return 0;
    --bitsLeft_;
    const unsigned bit = (*current_ >> bitsLeft_) & 1u;
    if (bitsLeft_ == 0) {
        ++current_;
        bitsLeft_ = 8;
    }
    return bit;
}

std::uint32_t BitReader::readBits(int count) {
    if (count > 32) count = 32;
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 1) | readBit();
    return value;
}

std::uint32_t BitReader::readUe() {
    int zeros = 0;
    while (readBit() == 0) {
        // A zero that leaves the reader at the end, or one beyond 32, ends the prefix uncounted:
        // this bounds the loop on runs of zeros and on exhausted data.
        if (atEnd() || zeros == 32) break;
        ++zeros;
    }
    if (zeros == 0) return 0;
    const std::uint32_t base = zeros == 32 ? 0xFFFFFFFFu : (std::uint32_t(1) << zeros) - 1;
    return base + readBits(zeros);  // unsigned: wraps at 32 bits for 32 zeros
}

std::int32_t BitReader::readSe() {
    const std::int64_t k = readUe();
    const std::int64_t value = (k & 1) ? (k + 1) / 2 : -(k / 2);
    return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
}

void BitReader::readTrailingBits() {
    readBit();
    while (!byteAligned() && !atEnd()) readBit();
}

bool BitReader::moreRbspData() const {
    if (current_ == end_) return false;
    const std::uint8_t* last = end_ - 1;
    while (last > current_ && *last == 0) --last;
    const unsigned unread = *current_ & ((1u << bitsLeft_) - 1);
    // Without the lowest set bit of the data (the stop bit), is any one bit left to read?
    const auto withoutLowest = [](unsigned byte) { return byte & (byte - 1); };
    if (last == current_) return withoutLowest(unread) != 0;
    if (unread != 0 || withoutLowest(*last) != 0) return true;
    for (const std::uint8_t* p = current_ + 1; p < last; ++p)
        if (*p != 0) return true;
    return false;
}
