#include "mp4/file_walk.h"

#include "mp4/box_header.h"
#include "mp4/byte_reader.h"
#include "mp4/fourcc_text.h"

namespace mp4 {

namespace {

// Top-level boxes looked at before giving up on finding a movie box (fragmented recordings
// have thousands of fragments; millions of tiny boxes are not a recording).
constexpr int kMaxTopLevelBoxes = 1000000;

// File-type boxes hold a handful of brands; more than this is not a real one.
constexpr std::uint64_t kMaxFileTypeBytes = 4096;

void readFileType(const MediaFile& file, std::uint64_t payloadOffset, std::uint64_t payloadSize, FileType& out) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(payloadSize < kMaxFileTypeBytes ? payloadSize : kMaxFileTypeBytes));
    if (!file.readAt(payloadOffset, bytes.data(), bytes.size())) return;
    ByteReader reader(ByteSpan{bytes.data(), bytes.size()});
    const std::uint32_t major = reader.u32();
    const std::uint32_t minor = reader.u32();
    if (!reader.ok()) return;
    out.present = true;
    out.majorBrand = major;
    out.minorVersion = minor;
    while (reader.remaining() >= 4) out.compatibleBrands.push_back(reader.u32());
}

}  // namespace

TopLevel walkTopLevel(const MediaFile& file) {
    TopLevel top;
    bool sawMediaData = false;
    std::uint64_t pos = 0;
    const std::uint64_t end = file.size();
    for (int count = 0; count < kMaxTopLevelBoxes && end - pos >= 8; ++count) {
        std::uint8_t head[16] = {};
        const std::size_t headBytes = end - pos >= 16 ? 16 : 8;
        if (!file.readAt(pos, head, headBytes)) break;
        BoxHeader header;
        if (readBoxHeader(ByteSpan{head, headBytes}, end - pos, header) != HeaderResult::Ok) break;
        const bool cutOff = header.size > end - pos;
        const std::uint64_t available = cutOff ? end - pos : header.size;

        if (header.type == fourcc("ftyp") && !top.fileType.present) {
            readFileType(file, pos + header.headerSize, available - header.headerSize, top.fileType);
        } else if (header.type == fourcc("moov") && !top.hasMovie) {
            if (available > kMaxMovieBytes) break;
            std::vector<std::uint8_t> movie(static_cast<std::size_t>(available));
            if (!file.readAt(pos, movie.data(), movie.size())) break;
            top.movie = std::move(movie);
            top.movieOffset = pos;
            top.hasMovie = true;
            top.movieBeforeMediaData = !sawMediaData;
            // Nothing after the movie box is used; a file-type box comes first in every brand.
            if (top.fileType.present) break;
        } else if (header.type == fourcc("mdat")) {
            sawMediaData = true;
        }
        if (cutOff) break;
        pos += header.size;
    }
    return top;
}

std::vector<std::uint64_t> trackBoxOffsets(const TopLevel& top) {
    std::vector<std::uint64_t> offsets;
    if (!top.hasMovie) return offsets;
    const ByteSpan movie{top.movie.data(), top.movie.size()};
    BoxHeader header;
    if (readBoxHeader(movie, movie.size, header) != HeaderResult::Ok) return offsets;
    // A movie box cut off by the end of the file holds what was loaded of it.
    BoxRange children(movie.sub(header.headerSize, static_cast<std::size_t>(header.size) - header.headerSize));
    RawBox child;
    while (children.next(child))
        if (child.type == fourcc("trak")) offsets.push_back(top.movieOffset + header.headerSize + child.offset);
    return offsets;
}

}  // namespace mp4
