#pragma once
// Per-camera NAL unit rules: fixed size ranges and header words that complete the reference's
// per-type entries before a scan, chosen by codec and camera preset name.
#include <cstdint>
#include <ostream>
#include <string>

#include "reference/records.h"

// Completes the 64 entries of `result` for a run of the given codec and preset name (lower
// case). The lines that the rules print go to `out`.
void applyCameraRules(AnalysisResult& result, const std::string& presetName, bool hevc, std::ostream& out);
