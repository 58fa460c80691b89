#pragma once
// Bit-level writes into a growing byte buffer (most significant bit first), the counterpart of
// BitReader for the few syntax elements this program writes itself.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mp4 {

class BitWriter {
public:
    // The low `count` (0..32) bits of `value`.
    void put(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (bits_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1u) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> (bits_ % 8));
            ++bits_;
        }
    }
    // Zero bits up to the next byte boundary, counted from the first bit written.
    void byteAlign() {
        while (bits_ % 8 != 0) put(0, 1);
    }
    std::size_t position() const { return bits_; }
    // The bytes written; a partial last byte is padded with zero bits.
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t bits_ = 0;
};

}  // namespace mp4
