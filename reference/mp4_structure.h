#pragma once
// Structure analysis of the reference video: tracks, sample descriptions, parameter sets,
// sample signatures and the per-type NAL unit statistics.
#include <string>

#include "reference/records.h"

// Fills `result` from the file at `path`; prints "ERROR: cannot open input file <path>" when
// the file cannot be opened, leaving `result` as it was.
void parseMp4File(const std::string& path, AnalysisResult& result);
