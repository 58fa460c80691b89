#pragma once
// Raw H.264/H.265 streams made with the ffmpeg tool, laid out as the frame finder leaves them: a
// window of length-prefixed units and one record per unit, plus the stream's parameter sets as
// the hexadecimal candidate text.
#include <string>
#include <vector>

#include "analysis/diag_preset.h"

namespace testsupport {

struct UnitWindow {
    std::vector<std::uint8_t> bytes;  // length-prefixed units
    std::vector<UnitRecord> units;
    std::string parameterSets;        // "00000001" + unit hex, for each VPS/SPS/PPS
};

// Splits an Annex B stream at its start codes.
UnitWindow unitWindow(const std::string& annexB, bool hevc);

// Encodes the lavfi graph `source` (one output) into a raw stream with `codecArgs`, made once
// into the clip folder under `name`. Empty when the ffmpeg tool fails.
std::string rawStream(const std::string& name, const std::string& source, const std::vector<std::string>& codecArgs);

}  // namespace testsupport
