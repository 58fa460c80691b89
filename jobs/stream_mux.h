#pragma once
// The repaired file in one pass: the engine's bare H.264/H.265 stream, its packets unchanged,
// each with the decode and presentation time its place in the stream gives it, and the audio
// of a file libavformat reads, its packets copied as they are (no second encoding), the two
// interleaved by time. Into an MP4 the packets go length-prefixed with an avcC / hvcC record,
// converted here in the buffer they are read into, so the muxer only copies them.
#include <cstdint>
#include <functional>
#include <string>

#include <QString>

#include "jobs/access_units.h"
#include "mp4/outcome.h"

struct MuxSources {
    QString video;  // the engine's raw Annex B stream
    // The reference's frame rate as numerator and denominator (30000 and 1001, say).
    double frameRateNum = 0;
    double frameRateDen = 1;
    // Empty for none. The first audio stream is copied; ADTS frames lose their headers on the
    // way into an MP4 (the muxer's own bitstream filter).
    QString audio;
};

struct MuxProgress {
    double seconds = 0;  // presentation time reached by the video
    std::int64_t frames = 0;
};
// Called after each video packet; returning false stops the mux, which then fails.
using MuxObserver = std::function<bool(const MuxProgress& progress)>;

struct MuxResult {
    Outcome outcome = Outcome::failed("not muxed");
    std::int64_t videoFrames = 0;
    std::int64_t audioPackets = 0;
    // Failed, with the reason, when the audio was left out because it could not be read; the
    // file then has the pictures alone.
    Outcome audio = Outcome::done();
    // The libavformat error of a write that failed (AVERROR(ENOSPC) for a full disk ...); 0
    // when the mux failed for another reason or did not fail.
    int writeError = 0;
};

// Writes `output` in the libavformat format `format` ("mp4", "mpegts"). Fails on a frame rate
// that is not finite and positive, a video stream of an unknown codec or without frames, a
// write error or a stop; what a failed mux leaves at `output` is not usable.
MuxResult muxStreams(const MuxSources& sources, const QString& output, const char* format,
                     const MuxObserver& observer = {});

// The same with the first walk over the video already made (readStreamTimeline of
// sources.video), so that it can run while something else does.
MuxResult muxStreams(const MuxSources& sources, const StreamTimeline& timeline, const QString& output,
                     const char* format, const MuxObserver& observer = {});
