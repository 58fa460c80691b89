#include "repair/stream_writer.h"

#include <algorithm>

#include "repair/live_preview.h"
#include "repair/output_file.h"

namespace {

constexpr std::uint8_t kStartCode[4] = {0, 0, 0, 1};
// Held units beyond this many bytes are junk whatever follows: no access unit's leading units
// come near it.
constexpr std::size_t kMostHeldBytes = 16u << 20;

}  // namespace

StreamWriter::StreamWriter(OutputFile& out, std::int64_t& videoTotal) : out_(out), videoTotal_(videoTotal) {}

void StreamWriter::put(const void* bytes, std::size_t size) {
    if (!out_.write(bytes, size)) failed_ = true;
}

void StreamWriter::hold(const std::uint8_t* payload, std::int64_t length, int type, std::int64_t begin,
                        std::int64_t end, bool delimiter) {
    if (delimiter && heldDelimiter_) dropHeld();
    if (heldEnd_ != begin) dropHeld();
    if (held_.size() + std::size_t(length) + 4 > kMostHeldBytes) {
        dropHeld();
        return;
    }
    heldUnits_.push_back({held_.size(), length, type, delimiter});
    held_.insert(held_.end(), kStartCode, kStartCode + 4);
    held_.insert(held_.end(), payload, payload + length);
    heldEnd_ = end;
    heldDelimiter_ = heldDelimiter_ || delimiter;
}

void StreamWriter::dropHeld() {
    held_.clear();
    heldUnits_.clear();
    heldEnd_ = -1;
    heldDelimiter_ = false;
    passedOver_ = false;
}

void StreamWriter::releaseHeld(const std::function<void(const std::uint8_t*, std::int64_t)>& unit) {
    for (const HeldUnit& held : heldUnits_) unit(held_.data() + held.offset + 4, held.length);
    dropHeld();
}

void StreamWriter::flushHeld() {
    put(held_.data(), held_.size());
    livePreview* preview = preview_ ? preview_() : nullptr;
    for (const HeldUnit& unit : heldUnits_) {
        if (!unit.delimiter) videoTotal_ += unit.length;
        if (preview) preview->queuePreviewPacket(held_.data() + unit.offset + 4, std::size_t(unit.length), nullptr, 0,
                                                 unit.type);
    }
    dropHeld();
}

void StreamWriter::startPicture(std::int64_t begin, bool first) {
    if (heldEnd_ != begin) dropHeld();
    if (first) pictureStart_ = out_.accepted();
    if (!heldUnits_.empty()) flushHeld();
    put(kStartCode, 4);
}

void StreamWriter::write(const std::uint8_t* bytes, std::int64_t size) { put(bytes, std::size_t(size)); }

void StreamWriter::copyFrom(int sourceFd, std::int64_t offset, const std::uint8_t* bytes, std::int64_t size) {
    if (!out_.copyFrom(sourceFd, offset, bytes, std::size_t(size))) failed_ = true;
}

void StreamWriter::endPicture() { pictureEnd_ = out_.accepted(); }

void StreamWriter::dropCurrentPicture() {
    dropHeld();
    if (out_.accepted() > pictureStart_ && !out_.truncate(pictureStart_)) failed_ = true;
    pictureEnd_ = std::min(pictureEnd_, pictureStart_);
}
