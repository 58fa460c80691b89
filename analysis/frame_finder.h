#pragma once
// The frame finder: how much of a damaged file's media data looks like the video one preset
// describes. It walks the window from the media data offset as a length-prefixed (MP4-style)
// stream, steps over delimiters, container boxes and camera special packets, and recognises
// units by the preset's header words and size ranges. The recognised units stay in the preset
// for the decode test.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/diag_preset.h"

// Bytes of the file the diagnostic reads for the matching test and the decoding attempts.
constexpr std::int64_t kDiagWindowSize = 7340032;  // 7 MiB

struct FrameWindow {
    const std::uint8_t* bytes = nullptr;
    std::int64_t bytesRead = 0;                // valid bytes at `bytes`
    std::int64_t windowSize = kDiagWindowSize; // the score's denominator counts from here
    std::int64_t mdatOffset = 0;
};

// One walk's outcome: the score in percent (0 to 100) and the recognised units; `stopped` when
// a stop request ended it (score 0, no units).
struct PresetMatch {
    float score = 0;
    std::vector<UnitRecord> units;
    bool stopped = false;
};

// The walk of `preset` over the window; `cameraName` picks the camera special-packet rules. Only
// bytes inside the bytes read are read or counted. It reads the window and the preset only, so
// walks of several presets may run at once.
PresetMatch walkPreset(const FrameWindow& window, const DiagPreset& preset, const std::string& cameraName,
                       const std::atomic<bool>& stopRequested);

