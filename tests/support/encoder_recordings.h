#pragma once
// Recordings as the ffmpeg tool's encoders write them at their usual and camera-like settings,
// for the engine's and the job's end-to-end tests: a short healthy reference and a longer
// recording of the same settings, cut at 70% of its bytes (its index lost), some with a hole of
// zeros in the media data.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/test_clips.h"

namespace testsupport {

class TempDir;

struct RecordingCase {
    const char* name;
    ClipSettings settings;  // of both clips; the lengths are set by damagedRecording
    // Zero bytes put between two samples in the middle of the media data (a hole the card left).
    std::int64_t holeBytes = 0;
};
inline void PrintTo(const RecordingCase& c, std::ostream* os) { *os << c.name; }

const std::vector<RecordingCase>& encoderRecordings();

struct DamagedRecording {
    std::string reference;  // 1.6 s, healthy
    std::string recording;  // 4 s, healthy: what the damaged file was cut from
    std::string damaged;    // the recording cut at 70% (in `dir` when it holds a hole)
    std::int64_t cut = 0;   // bytes of the recording that the damaged file keeps
};

// Makes (or reuses) the clips of `c`; a hole is written into `dir`. Fails the calling test and
// leaves paths empty when a clip cannot be made.
DamagedRecording damagedRecording(const RecordingCase& c, const TempDir& dir);

}  // namespace testsupport
