#include "jobs/timestamped_stream.h"

#include "jobs/stream_mux.h"

TimestampedStreamResult writeTimestampedStream(const QString& rawPath, double fps, const QString& outputPath) {
    MuxSources sources;
    sources.video = rawPath;
    sources.frameRateNum = fps;
    sources.frameRateDen = 1;
    const MuxResult mux = muxStreams(sources, outputPath, "mpegts");
    TimestampedStreamResult result;
    result.ok = mux.ok;
    result.frames = mux.videoFrames;
    result.error = mux.error;
    return result;
}
