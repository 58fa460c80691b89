#pragma once
// Builds small byte fixtures for the packet tests: big-endian words, codes and raw bytes.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace packetbytes {

class Bytes {
public:
    Bytes& be32(std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) data_.push_back(std::uint8_t(v >> shift));
        return *this;
    }
    Bytes& be16(std::uint16_t v) {
        data_.push_back(std::uint8_t(v >> 8));
        data_.push_back(std::uint8_t(v));
        return *this;
    }
    Bytes& text(const std::string& s) {
        data_.insert(data_.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& raw(std::initializer_list<std::uint8_t> bytes) {
        data_.insert(data_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Bytes& raw(const std::vector<std::uint8_t>& bytes) {
        data_.insert(data_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Bytes& fill(std::size_t count, std::uint8_t value) {
        data_.insert(data_.end(), count, value);
        return *this;
    }
    // Pads with `value` up to `size` bytes.
    Bytes& padTo(std::size_t size, std::uint8_t value = 0xA5) {
        if (data_.size() < size) data_.resize(size, value);
        return *this;
    }
    const std::vector<std::uint8_t>& vec() const { return data_; }
    operator std::vector<std::uint8_t>() const { return data_; }

private:
    std::vector<std::uint8_t> data_;
};

// `count` QuickTime IMA ADPCM blocks of 34 bytes: the preamble (nine bits of predictor, the
// seven-bit step index), then 4-bit codes that match no video unit.
inline std::string qtImaBlocks(int count, std::uint8_t stepIndex = 40) {
    std::string block(34, '\x5A');
    block[0] = '\x12';
    block[1] = static_cast<char>(0x80 | stepIndex);
    std::string out;
    for (int i = 0; i < count; ++i) out += block;
    return out;
}

}  // namespace packetbytes
