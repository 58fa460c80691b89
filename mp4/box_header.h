#pragma once
// Box headers: 32-bit size, 64-bit size (size field 1) and "to the end of the parent"
// (size field 0), always checked against the bytes the parent holds.
#include <cstddef>
#include <cstdint>

#include "mp4/byte_reader.h"

namespace mp4 {

struct BoxHeader {
    std::uint32_t type = 0;
    std::uint64_t size = 0;        // whole box, header included
    std::uint32_t headerSize = 0;  // 8, or 16 with a 64-bit size
};

enum class HeaderResult {
    Ok,
    Truncated,  // fewer header bytes than the size field needs
    Invalid,    // size smaller than the header
};

// Reads the header at the start of `bytes`. `room` is what the parent has left from this
// box's start; a size field of 0 takes all of it. The size is not checked against `room`:
// callers decide whether a box running past its parent is an error or a cut-off file.
HeaderResult readBoxHeader(ByteSpan bytes, std::uint64_t room, BoxHeader& out);

// A box found inside a byte range in memory.
struct RawBox {
    std::uint32_t type = 0;
    std::size_t offset = 0;  // of the header, within the range
    ByteSpan payload;
};

// Walks the boxes of a byte range one after another. Ends at the end of the range or at the
// first box whose header is malformed or whose size runs past the range.
class BoxRange {
public:
    explicit BoxRange(ByteSpan range) : range_(range) {}

    bool next(RawBox& out);
    // True when the walk stopped on a malformed box rather than at the end of the range.
    bool damaged() const { return damaged_; }

private:
    ByteSpan range_;
    std::size_t pos_ = 0;
    bool damaged_ = false;
};

// The payload of the first box of `type` directly inside `range`; empty when there is none.
bool findBox(ByteSpan range, std::uint32_t type, ByteSpan& payload);

}  // namespace mp4
