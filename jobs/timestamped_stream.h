#pragma once
// The engine's bare stream alone, stamped with the pictures' presentation times, in an MPEG
// transport stream that any muxer reads with its times. A bare stream carries none, so a muxer
// stamps every frame in decode order; with B-frames the pictures then play out of order.
#include <cstdint>
#include <string>

#include <QString>

#include "jobs/access_units.h"

struct TimestampedStreamResult {
    bool ok = false;
    std::int64_t frames = 0;
    std::string error;
};

// Reads the raw stream at `rawPath` and writes `outputPath` with times at `fps` frames per
// second. Fails (writing nothing usable) on an unknown codec, a stream without frames, a
// frame rate that is not finite and positive, or a read or write error.
TimestampedStreamResult writeTimestampedStream(const QString& rawPath, double fps, const QString& outputPath);
