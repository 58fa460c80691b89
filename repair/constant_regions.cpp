#include "repair/constant_regions.h"

#include <algorithm>
#include <cstring>

std::int64_t ConstantRegions::constantUntil(const std::uint8_t* data, std::int64_t from, std::int64_t limit,
                                            std::uint8_t value) {
    std::uint64_t pattern = 0;
    std::memset(&pattern, value, sizeof pattern);
    std::int64_t at = from;
    for (; at + 8 <= limit; at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, data + at, sizeof word);
        if (word != pattern) break;
    }
    while (at < limit && data[at] == value) ++at;
    return at;
}

bool ConstantRegions::refusedValue(std::uint8_t value, const Refusal& refused) {
    Answer& answer = answers_[value];
    if (answer == Answer::Unknown) answer = refused(value) ? Answer::Refused : Answer::Asked;
    return answer == Answer::Refused;
}

bool ConstantRegions::at(const std::uint8_t* data, std::int64_t p, std::int64_t base, std::int64_t valid,
                         std::int64_t last, std::int64_t least, const Refusal& refused, Pass& pass) {
    const std::uint8_t value = data[p];
    const std::int64_t at = base + p;
    const bool continuing = at == end_ && value == value_;
    if (!continuing && at < shortEnd_) return false;
    // A stretch taken up again is already known to its end, as far as the buffer reached then.
    std::int64_t end = continuing ? std::clamp<std::int64_t>(tailEnd_ - base, p, valid) : p;
    end = constantUntil(data, end, valid, value);
    if (!continuing && (end - p < std::max(least, 2 * kWindow) || !refusedValue(value, refused))) {
        shortEnd_ = base + end;
        return false;
    }
    // Positions whose look-ahead reaches past the stretch are tested one by one; a stretch that
    // goes on into the next chunk is taken up again there.
    const std::int64_t to = std::min(end - kWindow, last);
    if (to <= p) return false;
    value_ = value;
    end_ = base + to;
    tailEnd_ = base + end;
    pass.entered = !continuing;
    pass.to = to;
    return true;
}
