#include "repair/progress_rule.h"

#include <cmath>

int progressPercent(std::int64_t position, std::int64_t size) {
    if (position < 0 || size <= 0) return -1;
    // 128-bit intermediate so that files of any size keep the exact quotient.
    const __int128 scaled = static_cast<__int128>(position) * 100;
    std::int64_t whole = static_cast<std::int64_t>(scaled / size);
    const std::int64_t rest = static_cast<std::int64_t>(scaled % size);
    const __int128 twice = static_cast<__int128>(rest) * 2;
    if (twice > size) {
        ++whole;
    } else if (twice == size) {
        // An exact half: the quotient in floating point lands a hair to either side of it, and
        // that side decides, as it does for the formatted value.
        whole = static_cast<std::int64_t>(
            std::nearbyint(static_cast<double>(position) / static_cast<double>(size) * 100.0));
    }
    return whole > 100 ? 100 : static_cast<int>(whole);
}

void ProgressRule::reset(std::int64_t size) {
    size_ = size;
    last_ = 0;
    nextAt_ = size > 0 ? 0 : INT64_MAX;
}

bool ProgressRule::recompute(std::int64_t position, int& percent) {
    const int now = progressPercent(position, size_);
    const bool send = now > last_;
    if (send) {
        last_ = now;
        percent = now;
    }
    if (last_ >= 100) {
        nextAt_ = INT64_MAX;
        return send;
    }
    // Smallest position whose percent exceeds last_: the percent never falls as the position grows.
    std::int64_t low = position + 1;
    std::int64_t high = size_ > low ? size_ : low;
    while (progressPercent(high, size_) <= last_ && high < INT64_MAX / 200) high *= 2;
    while (low < high) {
        const std::int64_t mid = low + (high - low) / 2;
        if (progressPercent(mid, size_) > last_)
            high = mid;
        else
            low = mid + 1;
    }
    nextAt_ = low;
    return send;
}
