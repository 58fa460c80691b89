#include "tools/brannoc/input_window.h"

#include <algorithm>

#include "mp4/regular_file.h"

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
    const std::int64_t got = mp4::readFileAt(fd_, position, buffer_.data(), want);
    if (got < 0) return false;
    // The file ended early: it shrank while being read.
    if (static_cast<std::size_t>(got) < want) size_ = position + static_cast<std::uint64_t>(got);
    begin_ = position;
    end_ = position + static_cast<std::uint64_t>(got);
    return true;
}

}  // namespace brannoc
