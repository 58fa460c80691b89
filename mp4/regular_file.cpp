#include "mp4/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace mp4 {

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int openRegularFile(const std::string& path) {
    std::uint64_t size = 0;
    return openRegularFile(path, size);
}

int openRegularFile(const std::string& path, std::uint64_t& size) {
    if (!isRegularFile(path)) return -1;
    // Non-blocking only for the open itself: on a regular file the flag changes nothing else,
    // and it is cleared before the descriptor is handed out.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat info {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return fd;
}

std::int64_t readFileAt(int fd, std::uint64_t offset, void* out, std::size_t count) {
    auto* bytes = static_cast<unsigned char*>(out);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t done = ::pread(fd, bytes + got, count - got, static_cast<off_t>(offset + got));
        if (done < 0 && errno == EINTR) continue;
        if (done < 0) return -1;
        if (done == 0) break;
        got += static_cast<std::size_t>(done);
    }
    return static_cast<std::int64_t>(got);
}

}  // namespace mp4
