#pragma once
// The scan's progress: the file position as a whole percent of the source size, sent only when
// it grows. Computed in integers with the result of formatting position / size * 100 in fixed
// notation without decimals; only an exact half consults the floating-point quotient.
#include <cstdint>

// Nearest whole percent of `position` in `size`, at most 100; -1 for a negative position or an
// empty source.
int progressPercent(std::int64_t position, std::int64_t size);

// Decides at each scan position whether a new percent is due, with one comparison per position.
class ProgressRule {
public:
    void reset(std::int64_t size);
    // True (with `percent` set) when the percent at `position` is greater than the last one sent.
    bool due(std::int64_t position, int& percent) {
        if (position < nextAt_) return false;
        return recompute(position, percent);
    }
    int lastSent() const { return last_; }
    // The smallest position at which due() can be true.
    std::int64_t nextDue() const { return nextAt_; }

private:
    bool recompute(std::int64_t position, int& percent);

    std::int64_t size_ = 0;
    std::int64_t nextAt_ = INT64_MAX;  // smallest position whose percent exceeds last_
    int last_ = 0;
};
