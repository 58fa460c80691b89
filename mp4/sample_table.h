#pragma once
// The sample tables of a track (stsz/stz2, stsc, stco/co64) and a cursor that locates each
// sample in the file in turn. A table that contradicts itself ends the walk; it never makes
// the cursor read outside the table's own bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mp4/byte_reader.h"

namespace mp4 {

struct SampleSizes {
    std::uint32_t constantSize = 0;  // 0: sizes come from the table
    std::uint32_t count = 0;         // samples the table can describe (entries present)
    int fieldBits = 32;              // 4, 8, 16 or 32
    ByteSpan table;

    // Size of sample `index` (< count).
    std::uint32_t sizeAt(std::uint32_t index) const;
};

struct SampleToChunk {
    struct Entry {
        std::uint32_t firstChunk = 0;       // 1-based
        std::uint32_t samplesPerChunk = 0;
        std::uint32_t descriptionIndex = 0;
    };
    ByteSpan table;
    std::uint32_t count = 0;  // entries present

    Entry at(std::uint32_t index) const;
};

struct ChunkOffsets {
    ByteSpan table;
    std::uint32_t count = 0;  // entries present
    bool wide = false;        // co64

    std::uint64_t at(std::uint32_t index) const;
};

// Each parser takes the box payload. A declared entry count larger than the payload holds is
// cut to the entries present. 'stsz' with a constant size keeps its declared count.
bool parseSampleSizes(ByteSpan stszPayload, SampleSizes& out);
bool parseCompactSampleSizes(ByteSpan stz2Payload, SampleSizes& out);
bool parseSampleToChunk(ByteSpan stscPayload, SampleToChunk& out);
bool parseChunkOffsets(ByteSpan payload, bool wide, ChunkOffsets& out);

struct SampleLocation {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
};

// Locates samples 0, 1, 2, ... in order.
class SampleCursor {
public:
    SampleCursor(const SampleSizes& sizes, const SampleToChunk& chunks, const ChunkOffsets& offsets)
        : sizes_(sizes), chunks_(chunks), offsets_(offsets) {}

    // The next sample; false after the last one or when the tables give no place for it
    // (no chunk left, a first-chunk value of 0 or out of order).
    bool next(SampleLocation& out);

private:
    bool enterNextChunk();

    SampleSizes sizes_;
    SampleToChunk chunks_;
    ChunkOffsets offsets_;
    std::uint32_t sample_ = 0;
    std::uint32_t chunk_ = 0;          // 0-based index of the chunk being read (valid once started)
    bool started_ = false;
    std::uint32_t entry_ = 0;          // stsc entry in force
    std::uint32_t leftInChunk_ = 0;
    std::uint64_t position_ = 0;
    bool failed_ = false;
};

}  // namespace mp4
