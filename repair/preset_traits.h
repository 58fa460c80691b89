#pragma once
// The camera preset name's substring tests, decided once per scan: the scan and its checks run at
// every byte position, where repeated text searches would dominate the cost.
#include <string>

struct PresetTraits {
    std::string name;             // the preset name as the reference gave it (lower case)
    bool sonyPsp = false;         // contains "sony_psp"
    bool sony = false;            // contains "sony"
    bool ambarella = false;       // is exactly "ambarella"
    bool gopro = false;           // contains "gopro"
    bool jvc = false;             // contains "jvc"
    bool panasonic = false;       // contains "panasonic"
    bool iphone = false;          // contains "iphone"
    bool canon = false;           // contains "canon"
    bool canon600d = false;       // contains "canon" and "600d": no Canon slice-word fallback
    bool nikon = false;           // contains "nikon"
    bool novatek = false;         // contains "novatek"
    bool icat = false;            // contains "icat"
    bool mark4 = false;           // contains "5d mark iv"
    bool canon6d = false;         // is exactly "canon eos 6d"

    static PresetTraits fromName(const std::string& presetName);

    // Canon presets whose type-1 slices may carry the Canon fallback words.
    bool canonSliceWords() const { return canon && !canon600d; }
    // Presets whose slices give way to a PCM run shorter than a chunk.
    bool pairsPcmRuns() const { return sony || nikon || panasonic || icat; }
    // Presets whose camera-track matches give way to a short PCM junk run (cameraAtomRules).
    bool yieldsToShortJunk() const { return sony || nikon || novatek || panasonic || icat; }
    // Presets whose time-code tracks are left to the counting-run rules.
    bool skipsTimecodeTrack() const { return canon || jvc || panasonic; }
};
