#pragma once
// The recordings damage is tried on, and the rows of the damage tables: a recording with its
// damage, and the faults of today's engine it shows, if any.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

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

// A fault of today's engine that some damage cases show. A case is skipped while a fault it
// shows is open, unless VANTOREL_RUN_KNOWN_FAILURES is set in the environment: once the engine
// is fixed, close the fault here, in its one place, and its cases run.
struct KnownFault {
    const char* what;
    bool open;
};
inline constexpr KnownFault kRunsInSound{
    "a run of one byte value between two frames (erased flash, a hole of zeros) goes into the sound: AAC gets all of "
    "it (and the audio repair then fails on it, or works for minutes on mono sound), PCM loses the sound between the "
    "last picture and the run with it",
    true};
inline constexpr KnownFault kRandomInSound{
    "random bytes between two frames go into the sound: AAC gets all of them (the AAC decoder complains), PCM loses "
    "the sound between the last picture and them with them",
    true};
inline constexpr KnownFault kRandomFileInSound{
    "a file of random bytes alone gives no picture, but all its bytes as sound", true};
inline constexpr KnownFault kFalseLengthOverDamage{
    "H.265: a false length word read in the audio before the damage is taken, as a unit reaching into the damage: "
    "a unit of junk that swallows the last picture before it",
    true};
inline constexpr KnownFault kUnitsReadInDamage{
    "units read in the damage (bytes that look like units, another file's bytes) are written as video: pictures, "
    "SEI, parameter sets and delimiters of junk, and real pictures lost",
    true};
inline constexpr KnownFault kNewTypesAtSecondKeyFrame{
    "H.265 open GOP: the CRA picture and its RASL pictures, types the reference never showed, are refused (with hev1 "
    "the parameter sets and SEI before the CRA are written with no picture behind them), and a unit of junk takes "
    "the place of pictures near them",
    true};
inline constexpr KnownFault kPartOfACutPicture{
    "the whole slices of a picture the cut goes through are written: one corrupt last frame", true};
inline constexpr KnownFault kSmallSlicesRefused{
    "P slices far smaller than the reference's smallest (a still scene) are refused, and go into the sound", true};
inline constexpr KnownFault kQtImaUnsupported{
    "QuickTime IMA ADPCM sound is not written as the samples its blocks decode to", true};

struct DamageCase {
    RecordingCase recording;
    std::vector<const KnownFault*> failsToday{};  // the faults today's engine shows on it
};
inline void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.recording.name; }

// The open faults that `c` shows; empty when it runs.
std::string openFaults(const DamageCase& c);

// Whether `c` is skipped in this run as a case known to fail.
bool skipsKnownFailure(const DamageCase& c);

// The tests of a damage table: a case known to fail is skipped before anything is made.
class DamageCaseTest : public ::testing::TestWithParam<DamageCase> {
protected:
    void SetUp() override {
        if (skipsKnownFailure(GetParam())) GTEST_SKIP() << "known to fail today: " << openFaults(GetParam());
    }
};

}  // namespace testsupport
