#include "repair/output_file.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

OutputFile::OutputFile(std::size_t bufferBytes) : capacity_(bufferBytes == 0 ? 1 : bufferBytes) {}

OutputFile::~OutputFile() { close(); }

bool OutputFile::open(const QString& path) {
    close();
    failed_ = false;
    error_ = 0;
    committed_ = 0;
    buffer_.clear();
    const QByteArray name = QFile::encodeName(path);
    fd_ = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error_ = errno;
        return false;
    }
    buffer_.reserve(capacity_);
    return true;
}

namespace {

// Writes all `size` bytes, at the file position when `offset` is negative, else at `offset`;
// returns how many bytes reached the file (fewer than `size` on a failure).
std::size_t writeFully(int fd, const std::uint8_t* data, std::size_t size, std::int64_t offset) {
    std::size_t written = 0;
    while (written < size) {
        const ssize_t done = offset < 0
                                 ? ::write(fd, data + written, size - written)
                                 : ::pwrite(fd, data + written, size - written,
                                            static_cast<off_t>(offset) + static_cast<off_t>(written));
        if (done < 0 && errno == EINTR) continue;
        if (done == 0) errno = EIO;  // no progress and no reason given
        if (done <= 0) break;
        written += static_cast<std::size_t>(done);
    }
    return written;
}

}  // namespace

void OutputFile::fail() {
    // The first failure is the one that tells why: later ones follow from it.
    if (!failed_) error_ = errno != 0 ? errno : EIO;
    failed_ = true;
}

bool OutputFile::writeAll(const std::uint8_t* data, std::size_t size) {
    const std::size_t written = writeFully(fd_, data, size, -1);
    committed_ += static_cast<std::int64_t>(written);
    if (written < size) fail();
    return !failed_;
}

bool OutputFile::write(const void* data, std::size_t size) {
    if (fd_ < 0 || failed_) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    // Large pieces (whole pictures) go straight to the file: copying them into the buffer first
    // would only double the work.
    if (size >= std::min(capacity_, kDirectWriteBytes)) return flush() && writeAll(bytes, size);
    if (buffer_.size() + size > capacity_ && !flush()) return false;
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return true;
}

bool OutputFile::copyFrom(int sourceFd, std::int64_t offset, const void* bytes, std::size_t size) {
    if (fd_ < 0 || failed_) return false;
    if (size < std::min(capacity_, kDirectWriteBytes) || sourceFd < 0) return write(bytes, size);
    if (!flush()) return false;
    std::size_t copied = 0;
#ifdef __linux__
    loff_t from = static_cast<loff_t>(offset);
    while (copied < size) {
        const ssize_t done = ::copy_file_range(sourceFd, &from, fd_, nullptr, size - copied, 0);
        if (done < 0 && errno == EINTR) continue;
        if (done < 0 && copied == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
            break;  // not offered for these files: written from memory below
        if (done < 0) {
            fail();
            return false;
        }
        if (done == 0) break;  // the source ends early: the rest comes from memory
        copied += static_cast<std::size_t>(done);
        committed_ += done;
    }
#else
    (void)offset;
#endif
    return writeAll(static_cast<const std::uint8_t*>(bytes) + copied, size - copied);
}

bool OutputFile::flush() {
    if (fd_ < 0 || failed_) return false;
    if (buffer_.empty()) return true;
    const bool ok = writeAll(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
}

bool OutputFile::truncate(std::int64_t size) {
    if (fd_ < 0 || !flush() || size < 0 || size > committed_) return false;
    if (::ftruncate(fd_, size) != 0 || ::lseek(fd_, size, SEEK_SET) != size) {
        fail();
        return false;
    }
    committed_ = size;
    return true;
}

bool OutputFile::writeAt(std::int64_t offset, const void* data, std::size_t size) {
    if (fd_ < 0) return false;
    // Even after a failed append an in-place rewrite (a header completed with the bytes that
    // did reach the file) needs no new space, so it is still tried.
    flush();  // a failure stays in failed_
    if (offset < 0) errno = EINVAL;
    if (offset < 0 || writeFully(fd_, static_cast<const std::uint8_t*>(data), size, offset) < size) {
        fail();
        return false;
    }
    return true;
}

bool OutputFile::close() {
    if (fd_ < 0) return !failed_;
    flush();
    if (::close(fd_) != 0) fail();
    fd_ = -1;
    buffer_.clear();
    buffer_.shrink_to_fit();
    return !failed_;
}
