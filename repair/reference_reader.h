#pragma once
// Reader of the reference description (root `videopreset`) that Ordwick writes for a healthy
// video of the same camera. The document is consumed: it is deleted whatever the read gave.
#include <QString>
#include <string>

#include "reference/records.h"

// Fills `result`, `media` and `presetName` from the document at `path`, then deletes it.
// A failure (no file, bad XML, elements nested far deeper than a description's, a required
// number missing or malformed) ends the read where it happens, silently; what was stored
// before it stays. `result` arrives seeded (64 entries, no tracks) and `presetName` empty.
// True only when the whole document was read: a partial read describes no usable reference.
bool readVideoPreset(const QString& path, AnalysisResult& result, MediaInfo& media, std::string& presetName);
