#pragma once
// Bit-level reads over a bounded byte range (most significant bit first). Bits past the end
// read as 0: slice headers of short NAL units are parsed without touching bytes outside them.
#include <cstddef>
#include <cstdint>

namespace mp4 {

class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    unsigned readBit();
    // `count` (0..32) bits as an unsigned number.
    std::uint32_t readBits(int count);
    // True once a read went past the last byte.
    bool overrun() const { return overrun_; }
    // Bits read so far.
    std::size_t position() const { return bit_; }
    // Passes `count` bits without reading them.
    void skipBits(std::size_t count);

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t bit_ = 0;
    bool overrun_ = false;
};

// One unsigned Exp-Golomb code, ue(v). -1 when 32 or more zero bits precede the first one bit
// (the value would not fit the 32 bits the syntax allows).
std::int64_t readUeGolomb(BitReader& reader);
// The same, of at most `max`; -1 for a larger one, a code too long to read, or bits that ran out.
std::int64_t readUeAtMost(BitReader& reader, std::int64_t max);
// A signed Exp-Golomb code, se(v), read only to pass it; false when it cannot be read.
bool skipSeGolomb(BitReader& reader);

}  // namespace mp4
