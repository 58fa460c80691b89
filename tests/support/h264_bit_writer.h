#pragma once
// Writes H.264 bit fields for hand-made parser fixtures: u(n), ue(v), se(v), trailing bits, and
// NAL units with emulation prevention bytes and an Annex B start code.
#include <cstdint>
#include <vector>

class BitWriter {
public:
    BitWriter& u(int count, std::uint64_t value) {
        for (int i = count - 1; i >= 0; --i) bit(i < 64 && ((value >> i) & 1));
        return *this;
    }
    BitWriter& flag(bool value) { return u(1, value); }
    BitWriter& ue(std::uint64_t value) {
        const std::uint64_t code = value + 1;
        int length = 0;
        while ((code >> length) > 1) ++length;
        u(length, 0);
        return u(length + 1, code);
    }
    BitWriter& se(std::int64_t value) { return ue(value > 0 ? std::uint64_t(2 * value - 1) : std::uint64_t(-2 * value)); }
    BitWriter& zeros(int count) { return u(count, 0); }
    BitWriter& trailing() {
        bit(1);
        while (bits_ % 8 != 0) bit(0);
        return *this;
    }
    BitWriter& bytes(const std::vector<std::uint8_t>& data) {
        for (std::uint8_t b : data) u(8, b);
        return *this;
    }
    std::size_t bitCount() const { return bits_; }
    // The bytes written; a partial last byte is padded with zero bits.
    const std::vector<std::uint8_t>& data() const { return data_; }

private:
    void bit(unsigned value) {
        if (bits_ % 8 == 0) data_.push_back(0);
        if (value) data_.back() |= std::uint8_t(0x80 >> (bits_ % 8));
        ++bits_;
    }
    std::vector<std::uint8_t> data_;
    std::size_t bits_ = 0;
};

// A NAL unit: its header byte, then the RBSP with 03 inserted wherever two zeros precede a byte <= 3.
inline std::vector<std::uint8_t> nalUnit(std::uint8_t header, const std::vector<std::uint8_t>& rbsp) {
    std::vector<std::uint8_t> unit{header};
    int zeros = 0;
    for (std::uint8_t b : rbsp) {
        if (zeros == 2 && b <= 3) {
            unit.push_back(3);
            zeros = 0;
        }
        unit.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return unit;
}

// The unit behind a four-byte start code, as parseFirstNalUnit takes it.
inline std::vector<std::uint8_t> annexB(const std::vector<std::uint8_t>& unit) {
    std::vector<std::uint8_t> buffer{0, 0, 0, 1};
    buffer.insert(buffer.end(), unit.begin(), unit.end());
    return buffer;
}
