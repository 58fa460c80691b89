#include "mp4/sample_table.h"

#include "mp4/box_tree.h"
#include "mp4/byte_order.h"

namespace mp4 {

namespace {

std::uint32_t presentEntries(std::uint32_t declared, std::size_t bytes, std::size_t entryBytes) {
    const std::size_t present = bytes / entryBytes;
    return declared < present ? declared : static_cast<std::uint32_t>(present);
}

}  // namespace

std::uint32_t SampleSizes::sizeAt(std::uint32_t index) const {
    if (constantSize != 0) return constantSize;
    if (index >= count) return 0;
    const std::uint8_t* p = table.data;
    switch (fieldBits) {
    case 4: {
        const std::uint8_t byte = p[index / 2];
        return index % 2 == 0 ? byte >> 4 : byte & 0x0F;
    }
    case 8:
        return p[index];
    case 16:
        return be16(p + 2 * std::size_t(index));
    default:
        return be32(p + 4 * std::size_t(index));
    }
}

SampleToChunk::Entry SampleToChunk::at(std::uint32_t index) const {
    const std::uint8_t* p = table.data + 12 * std::size_t(index);
    return {be32(p), be32(p + 4), be32(p + 8)};
}

std::uint64_t ChunkOffsets::at(std::uint32_t index) const {
    if (!wide) return be32(table.data + 4 * std::size_t(index));
    return be64(table.data + 8 * std::size_t(index));
}

bool parseSampleSizes(ByteSpan payload, SampleSizes& out) {
    FullBox box;
    if (!readFullBox(payload, box)) return false;
    ByteReader reader(box.body);
    out.constantSize = reader.u32();
    const std::uint32_t declared = reader.u32();
    if (!reader.ok()) return false;
    out.fieldBits = 32;
    out.table = reader.rest();
    out.count = out.constantSize != 0 ? declared : presentEntries(declared, out.table.size, 4);
    return true;
}

bool parseCompactSampleSizes(ByteSpan payload, SampleSizes& out) {
    FullBox box;
    if (!readFullBox(payload, box)) return false;
    ByteReader reader(box.body);
    reader.skip(3);
    const int bits = reader.u8();
    const std::uint32_t declared = reader.u32();
    if (!reader.ok() || (bits != 4 && bits != 8 && bits != 16)) return false;
    out.constantSize = 0;
    out.fieldBits = bits;
    out.table = reader.rest();
    const std::uint64_t presentFields = std::uint64_t(out.table.size) * 8 / bits;
    out.count = declared < presentFields ? declared : static_cast<std::uint32_t>(presentFields);
    return true;
}

bool parseSampleToChunk(ByteSpan payload, SampleToChunk& out) {
    FullBox box;
    if (!readFullBox(payload, box)) return false;
    ByteReader reader(box.body);
    const std::uint32_t declared = reader.u32();
    if (!reader.ok()) return false;
    out.table = reader.rest();
    out.count = presentEntries(declared, out.table.size, 12);
    return true;
}

bool parseChunkOffsets(ByteSpan payload, bool wide, ChunkOffsets& out) {
    FullBox box;
    if (!readFullBox(payload, box)) return false;
    ByteReader reader(box.body);
    const std::uint32_t declared = reader.u32();
    if (!reader.ok()) return false;
    out.wide = wide;
    out.table = reader.rest();
    out.count = presentEntries(declared, out.table.size, wide ? 8 : 4);
    return true;
}

bool SampleCursor::enterNextChunk() {
    const std::uint32_t next = started_ ? chunk_ + 1 : 0;
    if (next >= offsets_.count || chunks_.count == 0) return false;
    if (!started_) {
        if (chunks_.at(0).firstChunk == 0) return false;
        entry_ = 0;
    }
    // Move to the last stsc entry whose first chunk has been reached (chunk numbers are 1-based).
    while (entry_ + 1 < chunks_.count) {
        const std::uint32_t first = chunks_.at(entry_ + 1).firstChunk;
        if (first <= chunks_.at(entry_).firstChunk) return false;
        if (first > next + 1) break;
        ++entry_;
    }
    started_ = true;
    chunk_ = next;
    leftInChunk_ = chunks_.at(entry_).samplesPerChunk;
    position_ = offsets_.at(chunk_);
    return true;
}

bool SampleCursor::next(SampleLocation& out) {
    if (failed_ || sample_ >= sizes_.count) return false;
    while (!started_ || leftInChunk_ == 0) {
        if (!enterNextChunk()) {
            failed_ = true;
            return false;
        }
    }
    out.offset = position_;
    out.size = sizes_.sizeAt(sample_);
    position_ += out.size;
    --leftInChunk_;
    ++sample_;
    return true;
}

}  // namespace mp4
