#pragma once
// Whether a recovered stream plays: its first pictures decoded as a player decodes them, behind
// the parameter sets that open the stream (the reference's). Pictures cut from a recording of
// other settings than the reference's do not decode under its parameter sets: the decoder
// refuses them, conceals them or complains of them. A file muxed from them would show nothing
// but errors, so such a repair has not succeeded. H.265 slices written with wavefronts also
// tell their picture's height themselves: each slice segment carries an entry point for every
// CTB row it spans beyond its first, and under another picture size's SPS those rows do not
// match.
#include <QString>

#include <cstddef>
#include <cstdint>

// The pictures tried. Under parameter sets of other settings every H.264 picture fails, but
// the H.265 decoder takes most such pictures without a complaint: under those of a larger
// picture a few in 48 fail, and under those of a smaller one it decodes the top of each picture
// and never looks at the rest. Where the slices carry wavefront entry points (as x265 writes
// them by default), those tell a picture of another size in every picture, larger or smaller;
// without them a smaller reference's mismatch still goes by.
constexpr int kCheckedPictures = 48;
// Faulty pictures among them that still make a stream that plays: the damage may have spoilt
// one or two.
constexpr int kToleratedFaults = 2;
// At most this much of the stream is read (48 pictures of 4K video at 100 Mbit/s fit in it).
constexpr std::size_t kCheckedBytes = 32u << 20;

struct PlaybackCheck {
    // The pictures that start in the checked part of the stream.
    int pictures = 0;
    // Pictures the decoder refused, complained of, flagged as damaged or never gave back, or
    // (H.265) whose slice segments' entry points are not the rows of the SPS's picture; each
    // counted once. A picture whose references lie before the stream's start is no fault: its
    // slices fit.
    int faultyPictures = 0;
    // A decoder for the stream could be opened; without one nothing is claimed either way.
    bool checked = false;

    bool plays() const { return pictures > 0 && (!checked || faultyPictures <= kToleratedFaults); }
};

// Decodes the first kCheckedPictures pictures of the Annex B stream `stream` (`size` bytes,
// no padding needed) with a fresh decoder. `cutShort`: the stream goes on behind the bytes
// given, so the last picture in them may be cut and is not tried.
PlaybackCheck checkFirstPictures(const std::uint8_t* stream, std::size_t size, bool hevc, bool cutShort = false);
// The same for the stream file at `path`, of which at most kCheckedBytes are read; an unreadable
// file has no pictures.
PlaybackCheck checkFirstPictures(const QString& path, bool hevc);
