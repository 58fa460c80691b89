#include "repair/junk_run.h"

void JunkRun::append(const std::uint8_t* buffer, std::int64_t p, std::int64_t count) {
    if (count <= 0) return;
    if (end_ == p && end_ > start_) {
        end_ = p + count;
        return;
    }
    spill(buffer);
    start_ = p;
    end_ = p + count;
}

void JunkRun::appendCopy(const std::uint8_t* buffer, const std::uint8_t* bytes, std::int64_t count) {
    if (count <= 0) return;
    spill(buffer);
    spill_.insert(spill_.end(), bytes, bytes + count);
}

void JunkRun::spill(const std::uint8_t* buffer) {
    if (end_ > start_) spill_.insert(spill_.end(), buffer + start_, buffer + end_);
    start_ = end_ = 0;
}

void JunkRun::discard() {
    spill_.clear();
    start_ = end_ = 0;
}

void JunkRun::trim(std::int64_t length) {
    const std::int64_t spilled = static_cast<std::int64_t>(spill_.size());
    if (length >= this->length()) return;
    if (length <= spilled) {
        spill_.resize(static_cast<std::size_t>(length));
        start_ = end_ = 0;
    } else {
        end_ = start_ + (length - spilled);
    }
}

std::uint8_t* JunkRun::bytes(std::uint8_t* buffer, bool inPlace) {
    if (spill_.empty() && inPlace) return buffer + start_;
    spill(buffer);
    return spill_.data();
}
