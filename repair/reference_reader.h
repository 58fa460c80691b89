#pragma once
// Reader of the reference description (root `videopreset`) that Ordwick writes for a healthy
// video of the same camera. The document is consumed: it is deleted whatever the read gave.
#include <QString>
#include <cstddef>
#include <string>

#include "reference/records.h"

// The largest description the engine reads; a larger one is refused before anything of it is
// parsed (the property tree of a description takes some 25 times its size in memory). What
// Ordwick writes at its own limits, every number as wide as its field, stays under half of it
// (7.7 MB): 64 types of 1,024 header words (6.3 MB), 8,192 sample signatures in all (1.2 MB)
// and 256 tracks with their audio runs (0.2 MB). Only parameter sets of megabytes, which no
// camera writes, could make a description larger.
constexpr std::size_t kMaxDescriptionBytes = std::size_t(16) << 20;

// Fills `result`, `media` and `presetName` from the document at `path`, then deletes it.
// A failure (no file, a file larger than kMaxDescriptionBytes, bad XML, elements nested far
// deeper than a description's, a required number missing or malformed) ends the read where it
// happens, silently; what was stored
// before it stays. `result` arrives seeded (64 entries, no tracks) and `presetName` empty.
// True only when the whole document was read: a partial read describes no usable reference.
bool readVideoPreset(const QString& path, AnalysisResult& result, MediaInfo& media, std::string& presetName);
