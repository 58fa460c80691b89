#pragma once
// The scan's window on the damaged file: the read buffer of the current chunk, where that chunk
// sits in the file, reading the next chunk, keeping the unscanned end of a chunk for the next,
// and starting over behind a packet that passes the buffer's end.
#include <cstdint>

#include "repair/read_buffer.h"
#include "repair/scan_source.h"
#include "repair/source_file.h"

class ScanWindow {
public:
    // Bytes kept before the scan position for look-behinds.
    static constexpr std::int64_t kHistoryBytes = 16;

    ScanWindow(SourceFile& source, std::int64_t chunkBytes);

    // Reads behind the valid bytes, as many as fit but not past the end of the file; false on a
    // read error. `delivered` receives the bytes read.
    bool readChunk(std::int64_t& delivered);
    // Drops the buffer and reads on from `absolute`; returns that offset's position in the new
    // buffer. The window counts as restarted until the next readChunk.
    std::int64_t restartAt(std::int64_t absolute);
    // Moves the bytes from `pos` (and kHistoryBytes before it) to the buffer's start; returns
    // `pos`'s new position.
    std::int64_t keepFrom(std::int64_t pos);
    // The offset just after the first "mdat" in the file's first bytes (0 without one), searched
    // the same way whatever the chunk size; -1 when the file cannot be read.
    std::int64_t locateMediaData();

    std::uint8_t* data() { return buffer_.data(); }
    const std::uint8_t* data() const { return buffer_.data(); }
    std::int64_t valid() const { return valid_; }
    std::int64_t base() const { return base_; }
    std::int64_t chunk() const { return chunk_; }
    bool restarted() const { return restarted_; }
    // The buffer with the file behind it, for tests that read past the buffer's end.
    const ScanSource& view() const { return view_; }
    SourceFile& source() { return source_; }

private:
    SourceFile& source_;
    const std::int64_t chunk_;
    ReadBuffer buffer_;
    std::int64_t valid_ = 0;  // valid bytes in the buffer
    std::int64_t base_ = 0;   // file offset of the buffer's first byte
    bool restarted_ = false;
    ScanSource view_;
};
