#include "mp4/byte_reader.h"

#include <cstring>

#include "mp4/byte_order.h"

namespace mp4 {

ByteSpan ByteSpan::sub(std::size_t offset, std::size_t length) const {
    if (offset >= size) return {};
    const std::size_t left = size - offset;
    return {data + offset, length < left ? length : left};
}

bool ByteReader::need(std::size_t count) {
    if (!ok_ || count > remaining()) {
        ok_ = false;
        pos_ = span_.size;
        return false;
    }
    return true;
}

std::uint8_t ByteReader::u8() {
    if (!need(1)) return 0;
    return span_.data[pos_++];
}

std::uint32_t ByteReader::word(unsigned count) {
    if (!need(count)) return 0;
    const std::uint32_t value = beWord(span_.data + pos_, count);
    pos_ += count;
    return value;
}

std::uint16_t ByteReader::u16() { return static_cast<std::uint16_t>(word(2)); }
std::uint32_t ByteReader::u24() { return word(3); }
std::uint32_t ByteReader::u32() { return word(4); }

std::uint64_t ByteReader::u64() {
    const std::uint64_t high = u32();
    const std::uint64_t low = u32();
    return ok_ ? (high << 32) | low : 0;
}

double ByteReader::f64() {
    const std::uint64_t bits = u64();
    double value = 0;
    static_assert(sizeof value == sizeof bits, "IEEE double expected");
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void ByteReader::skip(std::size_t count) {
    if (need(count)) pos_ += count;
}

ByteSpan ByteReader::take(std::size_t count) {
    if (!need(count)) return {};
    ByteSpan out{span_.data + pos_, count};
    pos_ += count;
    return out;
}

}  // namespace mp4
