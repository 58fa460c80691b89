#include "reference/camera_classifier.h"

#include "reference/camera_signatures.h"

std::string detectCameraPreset(std::size_t n, const std::uint8_t* bytes) {
    static const SignatureScanner scanner(cameraPresetTests());
    return scanner.scan(n, bytes).name;
}

std::string readPresetFromFile(const std::string& path) {
    std::string result;
    classifyHeadThenTail(path, kPresetWindowSize, [&](std::size_t n, const std::uint8_t* bytes) {
        result = detectCameraPreset(n, bytes);
        return !result.empty();
    });
    return result;
}
