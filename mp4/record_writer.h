#pragma once
// Big-endian writes of a decoder configuration record. A unit too long for its 16-bit length
// field marks the writer failed instead of writing a record that would read back wrong.
#include <cstdint>
#include <vector>

#include "mp4/byte_reader.h"

namespace mp4 {

class RecordWriter {
public:
    void u8(unsigned value) { bytes_.push_back(static_cast<std::uint8_t>(value)); }
    void u16(unsigned value) {
        u8(value >> 8);
        u8(value);
    }
    void u32(std::uint32_t value) {
        u16(value >> 16);
        u16(value & 0xFFFF);
    }
    // A NAL unit behind its 16-bit length.
    void unit(ByteSpan unit) {
        if (unit.size > 0xFFFF) {
            ok_ = false;
            return;
        }
        u16(static_cast<unsigned>(unit.size));
        bytes_.insert(bytes_.end(), unit.data, unit.data + unit.size);
    }
    void fail() { ok_ = false; }

    bool ok() const { return ok_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    bool ok_ = true;
};

}  // namespace mp4
