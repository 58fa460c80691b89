#pragma once
// The junk run: the bytes the scan did not take as video since the last run was handed to the
// audio extraction. The bytes of the current buffer are kept as a range of it; they are copied
// out (spilled) only when the buffer is about to move, so a run costs no copy in the usual case.
#include <cstdint>
#include <vector>

class JunkRun {
public:
    std::int64_t length() const { return static_cast<std::int64_t>(spill_.size()) + (end_ - start_); }
    bool empty() const { return length() == 0; }

    // Adds `count` buffer bytes from position `p`: a range that goes on where the run's range
    // ends grows in place.
    void append(const std::uint8_t* buffer, std::int64_t p, std::int64_t count);
    // Adds `count` bytes from elsewhere (`buffer` is the scan's, whose range is spilled first).
    void appendCopy(const std::uint8_t* buffer, const std::uint8_t* bytes, std::int64_t count);
    // Copies the run's range out of `buffer`, before the buffer's bytes move.
    void spill(const std::uint8_t* buffer);
    void discard();
    // Shortens the run to its first `length` bytes.
    void trim(std::int64_t length);
    // The run's bytes in one piece: in place in `buffer` when nothing was spilled and `inPlace`
    // allows it, else spilled first.
    std::uint8_t* bytes(std::uint8_t* buffer, bool inPlace);

private:
    std::vector<std::uint8_t> spill_;
    std::int64_t start_ = 0;
    std::int64_t end_ = 0;
};
