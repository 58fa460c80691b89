#pragma once
// The maintainer's preset tool: turns healthy recordings into one built-in preset of the
// diagnostic, with our own reference analysis (the MP4 layer and the NAL unit statistics), and
// keeps the plain preset and parameter-set documents under resources/.
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include "reference/records.h"

// What the recordings of one preset hold together.
struct PresetSource {
    std::vector<NalTypeStats> nalStats;  // 64 entries: widest range and every word of all clips
    QStringList headers;                 // distinct upper-case Annex B parameter-set texts
    bool hevc = false;
    int clips = 0;
};

// Adds the video of the MP4/MOV file at `path`; false (with `error` set) when it holds no
// H.264 or H.265 track with parameter sets.
bool addRecording(const std::string& path, PresetSource& source, QString& error);

// Replaces the preset called `name` in the preset document text (or appends it), its packets for
// types 0 to 63 in order; a missing or empty document starts a new one.
QString withPreset(const QString& document, const QString& name, const PresetSource& source);
// Adds every header of `source` to the parameter-set list document text, skipping texts it
// holds already.
QString withSpsEntries(const QString& document, const PresetSource& source);
