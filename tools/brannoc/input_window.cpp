#include "tools/brannoc/input_window.h"

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace brannoc {

InputWindow::InputWindow(int fd, std::uint64_t size, std::size_t capacity) : fd_(fd), size_(size), buffer_(capacity) {}

bool InputWindow::at(std::uint64_t position, std::size_t reach, std::uint8_t*& data, std::size_t& available) {
    const bool outside = position < begin_ || position >= end_;
    const bool shortAhead = end_ - std::min(end_, position) < reach && end_ < size_;
    if ((outside || shortAhead) && !load(position)) return false;
    data = buffer_.data() + (position - begin_);
    available = static_cast<std::size_t>(end_ - std::min(end_, position));
    return true;
}

bool InputWindow::load(std::uint64_t position) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), size_ - std::min(size_, position)));
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = pread(fd_, buffer_.data() + got, want - got, static_cast<off_t>(position + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            size_ = position + got;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    begin_ = position;
    end_ = position + got;
    return true;
}

}  // namespace brannoc
