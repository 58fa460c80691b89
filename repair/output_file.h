#pragma once
// A buffered output file of the repair (video stream, audio file). A failed write is kept, not
// thrown: the run asks failed() and committed() so that nothing counts bytes that never
// reached the disk.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

class OutputFile {
public:
    static constexpr std::size_t kDefaultBufferBytes = 4u << 20;
    // Writes of at least this many bytes (or of the whole buffer size) bypass the buffer.
    static constexpr std::size_t kDirectWriteBytes = 256u << 10;

    explicit OutputFile(std::size_t bufferBytes = kDefaultBufferBytes);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates or truncates the file. False when it cannot be opened for writing.
    bool open(const QString& path);
    bool isOpen() const { return fd_ >= 0; }

    // Appends `size` bytes (small ones buffered). False once any write of this file has failed.
    bool write(const void* data, std::size_t size);
    // Writes `size` bytes at absolute `offset` (after flushing), e.g. a header completed at the
    // end; tried even after a failed append. False when this write fails.
    bool writeAt(std::int64_t offset, const void* data, std::size_t size);
    // Appends `size` bytes that stand at `offset` of the open file `sourceFd` and that `bytes`
    // holds as well: copied by the system from file to file where it can (no pass through this
    // process for large pictures), else written from `bytes`. Same result and failures as write().
    bool copyFrom(int sourceFd, std::int64_t offset, const void* bytes, std::size_t size);
    bool flush();
    // Flushes and cuts the file to `size` bytes (at most what was accepted); later writes append
    // from there. False when the file cannot be cut.
    bool truncate(std::int64_t size);
    // Flushes and closes; false when a write or the close failed. Harmless when not open.
    bool close();

    bool failed() const { return failed_; }
    // The system's error number of the first failure (ENOSPC, EACCES ...), of the open
    // included; 0 while nothing failed.
    int error() const { return error_; }
    // Bytes that reached the file at the end position so far (the buffer excluded).
    std::int64_t committed() const { return committed_; }
    // Bytes accepted by write(), buffered or not.
    std::int64_t accepted() const { return committed_ + static_cast<std::int64_t>(buffer_.size()); }

private:
    bool writeAll(const std::uint8_t* data, std::size_t size);
    void fail();

    int fd_ = -1;
    bool failed_ = false;
    int error_ = 0;
    std::int64_t committed_ = 0;
    std::size_t capacity_;
    std::vector<std::uint8_t> buffer_;
};
