#include "mp4/media_file.h"

#include <unistd.h>

#include "mp4/regular_file.h"

namespace mp4 {

MediaFile::~MediaFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool MediaFile::open(const std::string& path) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = openRegularFile(path, size_);
    return fd_ >= 0;
}

bool MediaFile::readAt(std::uint64_t offset, void* buffer, std::size_t count) const {
    if (fd_ < 0 || offset > size_ || count > size_ - offset) return false;
    return readFileAt(fd_, offset, buffer, count) == static_cast<std::int64_t>(count);
}

}  // namespace mp4
