#include "mp4/media_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "mp4/regular_file.h"

namespace mp4 {

MediaFile::~MediaFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool MediaFile::open(const std::string& path) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = openRegularFile(path);
    if (fd_ < 0) return false;
    struct stat info;
    if (::fstat(fd_, &info) != 0) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool MediaFile::readAt(std::uint64_t offset, void* buffer, std::size_t count) const {
    if (fd_ < 0 || offset > size_ || count > size_ - offset) return false;
    auto* out = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const ssize_t got = ::pread(fd_, out, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace mp4
