#pragma once
// The walk over a file's top-level boxes: notes the file-type box and where the movie box lies
// against the media data, and loads only the movie box. Media data is stepped over by its
// size, never read.
#include <cstdint>
#include <vector>

#include "mp4/media_file.h"

namespace mp4 {

struct FileType {
    bool present = false;
    std::uint32_t majorBrand = 0;
    std::uint32_t minorVersion = 0;
    std::vector<std::uint32_t> compatibleBrands;  // as stored, zero brands included
};

struct TopLevel {
    FileType fileType;
    bool hasMovie = false;
    bool movieBeforeMediaData = false;  // no 'mdat' precedes the movie box
    std::vector<std::uint8_t> movie;    // the whole first movie box, header included
    std::uint64_t movieOffset = 0;      // where that box starts in the file
};

// A movie box larger than this is not loaded (a real one for hours of video is a few tens of MB).
constexpr std::uint64_t kMaxMovieBytes = 256ull << 20;

// Walks the top level of `file`. A box running past the end of the file ends the walk; a movie
// box cut off that way is loaded up to the end of the file.
TopLevel walkTopLevel(const MediaFile& file);

// File offsets of the 'trak' boxes directly inside the loaded movie box, in file order: the
// boxes the movie's tracks are read from (a box running past its parent ends the list, as it
// ends the movie's tree).
std::vector<std::uint64_t> trackBoxOffsets(const TopLevel& top);

}  // namespace mp4
