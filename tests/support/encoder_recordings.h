#pragma once
// Recordings as the ffmpeg tool's encoders write them at their usual and camera-like settings,
// for the engine's and the job's end-to-end tests: a short healthy reference and a longer
// recording of the same settings, cut at 70% of its bytes (its index lost), some with damage
// put between two samples in the middle of the media data.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/damage_bytes.h"
#include "tests/support/test_clips.h"

namespace testsupport {

class TempDir;

// Where the damaged file ends.
enum class Cut {
    SeventyPercent,   // at 70% of the recording's bytes
    ThroughPicture,   // inside a picture of several slices near 70%, after two of them
    IntoSlice,        // `sliceBytesKept` bytes into a picture's slice near 70%
    Nothing,          // the damaged file holds nothing of the recording: the damage alone
};

struct RecordingCase {
    std::string name;
    ClipSettings settings;  // of both clips; the lengths are set by damagedRecording
    // Put between two samples in the middle of the media data (a hole the card left ...).
    Damage damage{};
    double referenceSeconds = 1.6;
    double recordingSeconds = 4;
    // Output options of the recording alone, on top of `settings` (a still scene).
    std::vector<std::string> recordingArgs{};
    Cut cut = Cut::SeventyPercent;
    std::int64_t sliceBytesKept = 0;  // of the slice that Cut::IntoSlice goes through
};
inline void PrintTo(const RecordingCase& c, std::ostream* os) { *os << c.name; }

const std::vector<RecordingCase>& encoderRecordings();

struct DamagedRecording {
    std::string reference;  // healthy
    std::string recording;  // healthy: what the damaged file was cut from
    std::string damaged;    // the recording cut (in `dir` when it holds damage or a cut of its own)
    std::int64_t cut = 0;   // bytes of the recording that the damaged file keeps
    std::int64_t damageAt = 0;  // where the damage lies, in the recording's and the damaged file's bytes
};

// Makes (or reuses) the clips of `c`; damage is written into `dir`. Fails the calling test and
// leaves paths empty when a clip cannot be made.
DamagedRecording damagedRecording(const RecordingCase& c, const TempDir& dir);

}  // namespace testsupport
