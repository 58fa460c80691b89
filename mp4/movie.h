#pragma once
// The movie and its tracks as the analysis sees them, read from the movie box's tree.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mp4/box_tree.h"
#include "mp4/movie_headers.h"
#include "mp4/sample_entry.h"
#include "mp4/sample_table.h"

namespace mp4 {

struct Track {
    std::uint32_t id = 0;
    std::int32_t type = 0;  // trackTypeFor(handlerType)
    std::uint32_t handlerType = 0;
    std::string name;
    std::uint32_t width = 0;   // 16.16, from the track header
    std::uint32_t height = 0;  // 16.16
    std::uint32_t mediaTimeScale = 0;
    std::uint64_t mediaDuration = 0;
    std::uint32_t sampleCount = 0;
    std::vector<SampleEntry> entries;
    bool hasSampleSizes = false;
    std::uint32_t sizesBox = 0;  // 'stsz' or 'stz2'
    SampleSizes sizes;
    bool hasSampleToChunk = false;
    SampleToChunk chunks;
    ChunkOffsets offsets;
    const Box* stbl = nullptr;  // for lookups by path; may be nullptr
};

struct Movie {
    std::uint32_t timeScale = 0;
    std::uint64_t duration = 0;  // in timeScale units
    bool fragmented = false;     // the movie box holds an 'mvex'
    std::size_t trackCount = 0;  // 'trak' boxes in the movie box, read or not
    std::vector<Track> tracks;   // one per 'trak' read, in file order
};

// Reads the movie from `tree`, whose root is the movie box, with its first `maxTracks` tracks
// (the tables of tracks nobody looks at are not read). Tracks whose boxes are missing or
// damaged keep the fields that could be read; a track without usable sample tables has no
// samples to walk.
Movie readMovie(const BoxTree& tree, std::size_t maxTracks);

// A cursor over the samples of `track`.
SampleCursor sampleCursor(const Track& track);

}  // namespace mp4
