#include "mp4/movie.h"

#include "mp4/fourcc_text.h"
#include "mp4/track_types.h"

namespace mp4 {

namespace {

void readSampleTables(const BoxTree& tree, const Box& stbl, Track& track) {
    if (const Box* stsz = tree.firstChild(stbl, fourcc("stsz"))) {
        track.hasSampleSizes = parseSampleSizes(stsz->payload, track.sizes);
        track.sizesBox = fourcc("stsz");
    } else if (const Box* stz2 = tree.firstChild(stbl, fourcc("stz2"))) {
        track.hasSampleSizes = parseCompactSampleSizes(stz2->payload, track.sizes);
        track.sizesBox = fourcc("stz2");
    }
    if (track.hasSampleSizes) track.sampleCount = track.sizes.count;

    if (const Box* stsc = tree.firstChild(stbl, fourcc("stsc")))
        track.hasSampleToChunk = parseSampleToChunk(stsc->payload, track.chunks);
    if (const Box* stco = tree.firstChild(stbl, fourcc("stco")))
        parseChunkOffsets(stco->payload, false, track.offsets);
    else if (const Box* co64 = tree.firstChild(stbl, fourcc("co64")))
        parseChunkOffsets(co64->payload, true, track.offsets);

    if (const Box* stsd = tree.firstChild(stbl, fourcc("stsd")))
        track.entries = parseSampleDescriptions(stsd->payload, entryLayoutFor(track.handlerType));
}

Track readTrack(const BoxTree& tree, const Box& trak) {
    Track track;
    if (const Box* tkhd = tree.firstChild(trak, fourcc("tkhd"))) {
        TrackHeader header;
        if (parseTrackHeader(tkhd->payload, header)) {
            track.id = header.trackId;
            track.width = header.width;
            track.height = header.height;
        }
    }
    const Box* mdia = tree.firstChild(trak, fourcc("mdia"));
    if (!mdia) return track;
    if (const Box* mdhd = tree.firstChild(*mdia, fourcc("mdhd"))) {
        MediaHeader header;
        if (parseMediaHeader(mdhd->payload, header)) {
            track.mediaTimeScale = header.timeScale;
            track.mediaDuration = header.duration;
        }
    }
    // The media's own handler; QuickTime files carry a second, data handler inside 'minf'.
    if (const Box* hdlr = tree.firstChild(*mdia, fourcc("hdlr"))) {
        Handler handler;
        if (parseHandler(hdlr->payload, handler)) {
            track.handlerType = handler.handlerType;
            track.name = handler.name;
        }
    }
    track.type = trackTypeFor(track.handlerType);
    track.stbl = tree.find(*mdia, "minf/stbl");
    if (track.stbl) readSampleTables(tree, *track.stbl, track);
    return track;
}

}  // namespace

Movie readMovie(const BoxTree& tree, std::size_t maxTracks) {
    Movie movie;
    const Box* root = tree.root();
    if (!root) return movie;
    if (const Box* mvhd = tree.firstChild(*root, fourcc("mvhd"))) {
        MovieHeader header;
        if (parseMovieHeader(mvhd->payload, header)) {
            movie.timeScale = header.timeScale;
            movie.duration = header.duration;
        }
    }
    movie.fragmented = tree.firstChild(*root, fourcc("mvex")) != nullptr;
    const std::vector<const Box*> traks = tree.children(*root, fourcc("trak"));
    movie.trackCount = traks.size();
    for (std::size_t i = 0; i < traks.size() && i < maxTracks; ++i) movie.tracks.push_back(readTrack(tree, *traks[i]));
    return movie;
}

SampleCursor sampleCursor(const Track& track) {
    static const SampleSizes kNoSizes;
    static const SampleToChunk kNoChunks;
    return SampleCursor(track.hasSampleSizes ? track.sizes : kNoSizes, track.hasSampleToChunk ? track.chunks : kNoChunks,
                        track.offsets);
}

}  // namespace mp4
