#include "mp4/box_header.h"

namespace mp4 {

HeaderResult readBoxHeader(ByteSpan bytes, std::uint64_t room, BoxHeader& out) {
    ByteReader reader(bytes);
    const std::uint32_t size32 = reader.u32();
    out.type = reader.u32();
    if (!reader.ok()) return HeaderResult::Truncated;
    out.headerSize = 8;
    if (size32 == 1) {
        out.size = reader.u64();
        if (!reader.ok()) return HeaderResult::Truncated;
        out.headerSize = 16;
    } else if (size32 == 0) {
        out.size = room;
    } else {
        out.size = size32;
    }
    return out.size < out.headerSize ? HeaderResult::Invalid : HeaderResult::Ok;
}

bool BoxRange::next(RawBox& out) {
    if (pos_ >= range_.size) return false;
    const std::size_t room = range_.size - pos_;
    BoxHeader header;
    if (readBoxHeader(range_.from(pos_), room, header) != HeaderResult::Ok || header.size > room) {
        damaged_ = true;
        pos_ = range_.size;
        return false;
    }
    out.type = header.type;
    out.offset = pos_;
    out.payload = range_.sub(pos_ + header.headerSize, static_cast<std::size_t>(header.size) - header.headerSize);
    pos_ += static_cast<std::size_t>(header.size);
    return true;
}

bool findBox(ByteSpan range, std::uint32_t type, ByteSpan& payload) {
    BoxRange boxes(range);
    RawBox box;
    while (boxes.next(box)) {
        if (box.type == type) {
            payload = box.payload;
            return true;
        }
    }
    payload = {};
    return false;
}

}  // namespace mp4
