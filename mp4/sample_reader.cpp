#include "mp4/sample_reader.h"

namespace mp4 {

bool SampleReader::read(const SampleLocation& location, ByteSpan& data) {
    const std::uint64_t end = file_.size();
    if (location.offset >= end) return false;
    const std::uint64_t left = end - location.offset;
    const std::size_t size = static_cast<std::size_t>(location.size < left ? location.size : left);
    if (buffer_.size() < size) buffer_.resize(size);
    if (!file_.readAt(location.offset, buffer_.data(), size)) return false;
    data = ByteSpan{buffer_.data(), size};
    return true;
}

}  // namespace mp4
