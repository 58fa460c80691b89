#pragma once
// The scan's view of the damaged file: the read buffer of the current chunk, where that chunk
// sits in the file, and a way to read bytes beyond the buffer, so that a look-ahead never
// depends on where a chunk happens to end.
#include <algorithm>
#include <cstdint>
#include <cstring>

// Random access to the source file. Reading never moves the scan's own read position.
class SourceBytes {
public:
    virtual ~SourceBytes() = default;
    // Copies up to `count` bytes at absolute `offset` into `out`; returns the bytes copied
    // (fewer only at the end of the file), or -1 when the file cannot be read.
    virtual std::int64_t readAt(std::int64_t offset, std::uint8_t* out, std::int64_t count) = 0;
    // Size of the file in bytes.
    virtual std::int64_t size() const = 0;
};

struct ScanSource {
    const std::uint8_t* data = nullptr;  // the read buffer
    std::int64_t valid = 0;              // valid bytes in `data` (carry + bytes read for this chunk)
    std::int64_t base = 0;               // absolute file offset of data[0]
    SourceBytes* file = nullptr;         // the rest of the file; null when only the buffer exists

    // Bytes from buffer position `pos` to the end of the file (to the end of the buffer when
    // there is no file). Negative when `pos` lies past the end.
    std::int64_t remaining(std::int64_t pos) const {
        const std::int64_t end = file ? std::max(file->size(), base + valid) : base + valid;
        return end - (base + pos);
    }

    // Whether `count` bytes at buffer position `pos` lie inside the valid buffer.
    bool inBuffer(std::int64_t pos, std::int64_t count) const {
        return pos >= 0 && count >= 0 && pos <= valid && count <= valid - pos;
    }

    // Copies `count` bytes at buffer position `pos` into `out`, from the buffer as far as it
    // holds them and from the file beyond it. Returns the bytes copied: fewer than `count`
    // only at the end of the file (or of the buffer without a file), -1 on a read error.
    std::int64_t copy(std::int64_t pos, std::uint8_t* out, std::int64_t count) const {
        if (pos < 0 || count < 0) return -1;
        std::int64_t got = 0;
        if (pos < valid) {
            got = std::min(count, valid - pos);
            std::memcpy(out, data + pos, static_cast<std::size_t>(got));
        }
        if (got == count || !file) return got;
        const std::int64_t more = file->readAt(base + pos + got, out + got, count - got);
        if (more < 0) return -1;
        return got + more;
    }
};
