#pragma once
// A window over a regular file read at positions (mp4::readFileAt), so that several threads can
// each keep their own over one open file.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace brannoc {

class InputWindow {
public:
    // `capacity`: the most bytes held at once (at least twice the reach asked for).
    InputWindow(int fd, std::uint64_t size, std::size_t capacity = kDefaultCapacity);

    // Large enough that a reload is rare, small enough to be bounded per thread.
    static constexpr std::size_t kDefaultCapacity = 1 << 20;

    // The bytes from `position` on: `available` is at least `reach` (when the file holds that
    // many) or runs to the end of the file. False on a read error.
    bool at(std::uint64_t position, std::size_t reach, std::uint8_t*& data, std::size_t& available);

    // The file's size, less when it turned out shorter while being read.
    std::uint64_t size() const { return size_; }

private:
    bool load(std::uint64_t position);

    int fd_;
    std::uint64_t size_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t begin_ = 0, end_ = 0;  // file range held in buffer_
};

}  // namespace brannoc
