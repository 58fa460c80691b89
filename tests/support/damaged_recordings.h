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
// The recording of `take` undamaged, cut `kept` bytes into a slice.
RecordingCase takeCutIntoSlice(Take take, std::int64_t kept);
// A file of `damage` alone (nothing of the recording), repaired with `take`'s reference.
RecordingCase damageAlone(Take take, const Damage& damage);

}  // namespace testsupport
