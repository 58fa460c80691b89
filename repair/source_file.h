#pragma once
// The damaged file, read in chunks by the scan and at random offsets by look-aheads.
#include <QString>
#include <cstdint>

#include "repair/scan_source.h"

class SourceFile : public SourceBytes {
public:
    SourceFile() = default;
    ~SourceFile() override;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // Opens for reading and takes the size. False when the file cannot be opened or is not a
    // regular file (a FIFO, a device or a folder is refused without waiting on it).
    bool open(const QString& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    // Reads up to `count` bytes at the read position and advances it; returns the bytes read
    // (fewer only at the end of the file) or -1 on a read error.
    std::int64_t read(std::uint8_t* out, std::int64_t count);
    // Moves the read position (it may pass the end of the file: reads there give 0 bytes).
    void skip(std::int64_t count) { position_ += count; }
    void setPosition(std::int64_t position) { position_ = position < 0 ? 0 : position; }
    std::int64_t position() const { return position_; }
    // The open file's descriptor (-1 when closed), for copies that stay inside the system.
    int descriptor() const { return fd_; }

    std::int64_t readAt(std::int64_t offset, std::uint8_t* out, std::int64_t count) override;
    std::int64_t size() const override { return size_; }

private:
    int fd_ = -1;
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
};
