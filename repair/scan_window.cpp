#include "repair/scan_window.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "repair/packet_checks.h"

namespace {

constexpr std::int64_t kSearchPiece = 1 << 20;

}  // namespace

ScanWindow::ScanWindow(SourceFile& source, std::int64_t chunkBytes) : source_(source), chunk_(chunkBytes) {
    buffer_.resize(static_cast<std::size_t>(chunk_));
    view_.file = &source_;
}

bool ScanWindow::readChunk(std::int64_t& delivered) {
    restarted_ = false;
    const std::int64_t left = std::max<std::int64_t>(0, source_.size() - source_.position());
    const std::int64_t want = std::min(chunk_ - valid_, left);
    delivered = want > 0 ? source_.read(buffer_.data() + valid_, want) : 0;
    if (delivered < 0) return false;
    valid_ += delivered;
    view_.data = buffer_.data();
    view_.valid = valid_;
    view_.base = base_;
    return true;
}

std::int64_t ScanWindow::restartAt(std::int64_t absolute) {
    const std::int64_t from = std::max<std::int64_t>(0, absolute - kHistoryBytes);
    source_.setPosition(from);
    base_ = from;
    valid_ = 0;
    view_.valid = 0;
    view_.base = base_;
    restarted_ = true;
    return absolute - from;
}

std::int64_t ScanWindow::keepFrom(std::int64_t pos) {
    const std::int64_t from = std::max<std::int64_t>(0, std::min(pos, valid_) - kHistoryBytes);
    const std::int64_t kept = valid_ - from;
    if (kept > 0 && from > 0) std::memmove(buffer_.data(), buffer_.data() + from, static_cast<std::size_t>(kept));
    base_ += from;
    valid_ = std::max<std::int64_t>(0, kept);
    view_.valid = valid_;
    view_.base = base_;
    return pos - from;
}

std::int64_t ScanWindow::locateMediaData() {
    const std::int64_t limit = std::min(source_.size(), kMdatSearchLimit);
    std::vector<std::uint8_t> window(static_cast<std::size_t>(std::min(limit, kSearchPiece + 4)));
    for (std::int64_t offset = 0; offset + 4 < limit; offset += kSearchPiece) {
        const std::int64_t length = std::min(kSearchPiece + 4, limit - offset);
        const std::int64_t got = source_.readAt(offset, window.data(), length);
        if (got < 0) return -1;
        // The last 4 bytes of a window are only compared as part of a match starting earlier.
        const std::int64_t found = findMdat(window.data(), got);
        if (found > 0) return offset + found;
        if (got < length) break;
    }
    return 0;
}
