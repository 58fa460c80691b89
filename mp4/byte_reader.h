#pragma once
// Bounded big-endian reads over bytes in memory. A read past the end yields 0 and marks the
// reader failed, so parsers check ok() once after a group of fields.
#include <cstddef>
#include <cstdint>

namespace mp4 {

struct ByteSpan {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;

    bool empty() const { return size == 0; }
    // The bytes [offset, offset + length) clamped to this span.
    ByteSpan sub(std::size_t offset, std::size_t length) const;
    ByteSpan from(std::size_t offset) const { return sub(offset, size); }
};

class ByteReader {
public:
    explicit ByteReader(ByteSpan span) : span_(span) {}

    bool ok() const { return ok_; }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return span_.size - pos_; }

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u24();
    std::uint32_t u32();
    std::uint64_t u64();
    double f64();
    void skip(std::size_t count);
    // The next `count` bytes; an empty span (and failure) when fewer are left.
    ByteSpan take(std::size_t count);
    // Everything not yet read.
    ByteSpan rest() const { return span_.from(pos_); }

private:
    bool need(std::size_t count);
    // The next `count` bytes (at most 4) as one big-endian word.
    std::uint32_t word(unsigned count);

    ByteSpan span_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace mp4
