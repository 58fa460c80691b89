#include "reference/probe_input.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include "mp4/file_walk.h"

namespace {

// The library's own buffer size for files.
constexpr int kBufferBytes = 32768;
constexpr std::uint8_t kHiddenType[4] = {'f', 'r', 'e', 'e'};
constexpr std::uint64_t kTypeOffset = 4;  // past the box's 32-bit size field

}  // namespace

bool ProbeInput::open(const std::string& path, std::size_t keptTracks) {
    if (!file_.open(path)) return false;
    const std::vector<std::uint64_t> tracks = mp4::trackBoxOffsets(mp4::walkTopLevel(file_));
    for (std::size_t i = keptTracks; i < tracks.size(); ++i) hidden_.push_back(tracks[i] + kTypeOffset);

    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
    if (!buffer) return false;
    io_.reset(avio_alloc_context(buffer, kBufferBytes, 0, this, &ProbeInput::readPacket, nullptr, &ProbeInput::seek));
    if (!io_) {
        av_free(buffer);
        return false;
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return false;
    raw->pb = io_.get();
    // Tracks the walk could not find (in another container, or in a movie box it does not
    // load) are not hidden: such a file is refused rather than probed with a decoder each.
    raw->max_streams = static_cast<int>(std::min<std::size_t>(keptTracks, std::numeric_limits<int>::max()));
    // On failure the library frees the context it was given (not the reading context).
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return false;
    format_.reset(raw);
    return true;
}

bool ProbeInput::read(std::uint64_t offset, std::uint8_t* bytes, std::size_t count) const {
    if (!file_.readAt(offset, bytes, count)) return false;
    const std::uint64_t end = offset + count;
    // A type field starting up to three bytes before the block still reaches into it.
    auto type = std::lower_bound(hidden_.begin(), hidden_.end(), offset < 3 ? 0 : offset - 3);
    for (; type != hidden_.end() && *type < end; ++type) {
        const std::uint64_t last = std::min(*type + sizeof kHiddenType, end);
        for (std::uint64_t at = std::max(*type, offset); at < last; ++at) bytes[at - offset] = kHiddenType[at - *type];
    }
    return true;
}

int ProbeInput::readPacket(void* opaque, std::uint8_t* buffer, int size) {
    auto& input = *static_cast<ProbeInput*>(opaque);
    const std::uint64_t end = input.file_.size();
    if (size <= 0 || input.position_ >= end) return AVERROR_EOF;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t(size), end - input.position_));
    if (!input.read(input.position_, buffer, count)) return AVERROR(EIO);
    input.position_ += count;
    return static_cast<int>(count);
}

std::int64_t ProbeInput::seek(void* opaque, std::int64_t offset, int whence) {
    auto& input = *static_cast<ProbeInput*>(opaque);
    const auto size = static_cast<std::int64_t>(input.file_.size());
    if (whence & AVSEEK_SIZE) return size;
    std::int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        break;
    case SEEK_CUR:
        base = static_cast<std::int64_t>(input.position_);
        break;
    case SEEK_END:
        base = size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < -base || offset > std::numeric_limits<std::int64_t>::max() - base) return AVERROR(EINVAL);
    input.position_ = static_cast<std::uint64_t>(base + offset);
    return base + offset;
}
