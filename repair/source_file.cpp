#include "repair/source_file.h"

#include <QFile>
#include <unistd.h>

#include "mp4/regular_file.h"

SourceFile::~SourceFile() { close(); }

bool SourceFile::open(const QString& path) {
    close();
    const QByteArray name = QFile::encodeName(path);
    // A FIFO or a device given as the damaged file is refused, never waited on.
    std::uint64_t size = 0;
    fd_ = mp4::openRegularFile(name.toStdString(), size);
    if (fd_ < 0) return false;
    size_ = static_cast<std::int64_t>(size);
    position_ = 0;
    return true;
}

void SourceFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
    position_ = 0;
}

std::int64_t SourceFile::readAt(std::int64_t offset, std::uint8_t* out, std::int64_t count) {
    if (fd_ < 0 || offset < 0 || count < 0) return -1;
    return mp4::readFileAt(fd_, static_cast<std::uint64_t>(offset), out, static_cast<std::size_t>(count));
}

std::int64_t SourceFile::read(std::uint8_t* out, std::int64_t count) {
    const std::int64_t got = readAt(position_, out, count);
    if (got > 0) position_ += got;
    return got;
}
