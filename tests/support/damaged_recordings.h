#pragma once
// The recordings damage is tried on, and the rows of the damage tables: a recording with its
// damage, and how today's engine fails it, if it does.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/support/damage_bytes.h"
#include "tests/support/encoder_recordings.h"

namespace testsupport {

enum class Take {
    X264Aac,          // x264 at its defaults, AAC stereo, MP4
    X264AacMono,
    X264Aac51,
    X264PcmMov,       // 16-bit PCM in a MOV
    X264ImaQtMov,     // QuickTime IMA ADPCM in a MOV
    X265Aac,          // x265 with a key frame every second, AAC stereo, MP4
    // x265's defaults (open GOP, key frames 250 pictures apart): the 5 s reference holds one IDR
    // picture, the 20 s recording a CRA picture with its RASL pictures as well.
    X265OpenGopHvc1,
    X265OpenGopHev1,  // the same as hev1: parameter sets and SEI repeated in the stream
    X264FourSlices,   // four slices a picture, cut through a picture
    X264StillScene,   // a frozen picture, recorded with the settings of a moving reference
};

// The recording of `take` with `damage` between two samples in its middle, named after both.
RecordingCase takeWith(Take take, const Damage& damage = {});
// A file of `damage` alone (nothing of the recording), repaired with `take`'s reference.
RecordingCase damageAlone(Take take, const Damage& damage);

struct DamageCase {
    RecordingCase recording;
    // How today's engine fails the case; empty when it passes. A case with a text is skipped
    // with it, unless VANTOREL_RUN_KNOWN_FAILURES is set in the environment: delete the text
    // once the engine passes the case.
    std::string failsToday{};
};
inline void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.recording.name; }

// Whether `c` is skipped in this run as a case known to fail.
bool skipsKnownFailure(const DamageCase& c);

// The tests of a damage table: a case known to fail is skipped before anything is made.
class DamageCaseTest : public ::testing::TestWithParam<DamageCase> {
protected:
    void SetUp() override {
        if (skipsKnownFailure(GetParam())) GTEST_SKIP() << "known to fail today: " << GetParam().failsToday;
    }
};

}  // namespace testsupport
