#pragma once
// A file opened for positioned reads. Reads never go past the file's end.
#include <cstddef>
#include <cstdint>
#include <string>

namespace mp4 {

class MediaFile {
public:
    MediaFile() = default;
    ~MediaFile();
    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;

    // False when the file cannot be opened or is not a regular file (never waits on a FIFO).
    bool open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    std::uint64_t size() const { return size_; }
    // Reads exactly `count` bytes at `offset`; false when the file holds fewer there.
    bool readAt(std::uint64_t offset, void* buffer, std::size_t count) const;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace mp4
