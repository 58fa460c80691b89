#pragma once
// Reads samples' data into one buffer reused from sample to sample, so memory stays at the
// largest sample however long the file is.
#include <cstdint>
#include <vector>

#include "mp4/byte_reader.h"
#include "mp4/media_file.h"
#include "mp4/sample_table.h"

namespace mp4 {

class SampleReader {
public:
    explicit SampleReader(const MediaFile& file) : file_(file) {}

    // The sample's bytes, valid until the next read. A size running past the end of the file is
    // cut to the bytes left; false when the sample starts at or past the end (a missing sample).
    bool read(const SampleLocation& location, ByteSpan& data);
    // What a track's samples can add up to at most.
    std::uint64_t fileSize() const { return file_.size(); }

private:
    const MediaFile& file_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace mp4
