#pragma once
// The diagnostic's built-in camera presets and parameter-set list: the records, the loaders of
// the enciphered documents among the resources, and the fixed packet rules added to every
// preset after loading.
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include "reference/records.h"

// Resource paths of the built-in documents.
inline const QString kSpsListResource = QStringLiteral(":/files/xml/res/01.xml");
inline const QString kH264PresetsResource = QStringLiteral(":/files/xml/res/02.xml");
inline const QString kH265PresetsResource = QStringLiteral(":/files/xml/res/03.xml");

// One unit that the frame finder recognised in the window.
struct UnitRecord {
    std::int32_t type = 0;
    std::int32_t offset = 0;  // of the unit's first byte, just behind its length word
    std::int32_t size = 0;    // without the length word
};

struct DiagPreset {
    bool isHEVC = false;
    float score = 0;
    std::string presetName;
    std::vector<std::string> headers;  // Annex B hex texts of parameter-set pairs
    // Always kNalTypeCount entries, index = NAL unit type; types the document does not list
    // keep the unseen seed {16777215, 0, type, no words}.
    std::vector<NalTypeStats> nalStats;
    std::vector<UnitRecord> units;  // of the last matching walk

    DiagPreset();
    // The entry of `type`, or null for a type outside the table.
    const NalTypeStats* entry(int type) const;
};

// Plain document text to records. Text that is no document yields nothing.
std::vector<DiagPreset> presetsFromDocument(const QString& xml, bool hevc);
std::vector<std::string> spsListFromDocument(const QString& xml);

// A built-in document: its lines joined and deciphered with the build's key; empty text when
// the resource cannot be opened or deciphered.
QString readBuiltInDocument(const QString& resource);

// Appends the entries of the built-in SPS list.
void loadSpsList(std::vector<std::string>& spsList);
// Appends the presets of the H.264 document (true) or of the H.265 document (false).
void loadPresets(bool h264Document, std::vector<DiagPreset>& presets);
// The fixed header words and size bounds of the delimiter, parameter-set, SEI and filler
// types, added to every preset.
void addBuiltInPacketRules(std::vector<DiagPreset>& presets);
