#pragma once
// Tells the camera, drone, phone or encoder that wrote a file from the byte strings it leaves
// behind (brand sequences, private boxes, model and encoder texts). The repair engine picks its
// per-camera rules by the name found here.
#include <cstddef>
#include <cstdint>
#include <string>

#include "reference/camera_signatures.h"

// Bytes read from each end of the file.
constexpr std::size_t kPresetWindowSize = 350000;
// Offsets 0 .. n - kPresetScanTail are scanned; fewer bytes than this give no name.
constexpr std::size_t kPresetScanTail = kSignatureScanTail;

// Preset name of the file at `path`: the head window is classified, and the tail window only
// when the head gave no name. Empty when nothing matched or the file cannot be read.
std::string readPresetFromFile(const std::string& path);

// Preset name of the first `n` bytes at `bytes`: the first matching test marked as ending
// the scan wins; otherwise the last match of a test that lets the scan go on; else empty.
std::string detectCameraPreset(std::size_t n, const std::uint8_t* bytes);
