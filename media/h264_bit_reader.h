#pragma once
// Bit reader for H.264 RBSP data (most significant bit first). It never fails: reading at or past
// the end yields zero bits and does not move, so a damaged unit parses as if padded with zeros.
#include <cstdint>

class BitReader {
public:
    BitReader(const std::uint8_t* data, std::uint64_t size);

    // One bit; 0 at the end.
    unsigned readBit();
    // u(n) for n up to 32 (larger n reads 32 bits).
    std::uint32_t readBits(int count);
    std::uint32_t readByte() { return readBits(8); }
    // ue(v): at most 32 counted leading zeros, the sum wrapping at 32 bits.
    std::uint32_t readUe();
    // se(v), saturated to the int32 range (only the wrapped ue maximum is affected).
    std::int32_t readSe();
    // rbsp_trailing_bits: one bit, then bits up to the next byte boundary.
    void readTrailingBits();

    bool atEnd() const { return current_ == end_; }
    bool byteAligned() const { return bitsLeft_ == 8; }
    // more_rbsp_data(): a one bit lies behind the position other than the last one bit of the
    // data (the rbsp_stop_one_bit).
    bool moreRbspData() const;

private:
    const std::uint8_t* current_;
    const std::uint8_t* end_;
    int bitsLeft_ = 8;  // unread bits of *current_
};
