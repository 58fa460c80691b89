#include "reference/camera_classifier.h"

#include <fstream>
#include <vector>

#include "reference/camera_signatures.h"

namespace {

// Reads up to `window.size()` bytes at `offset`; returns the count read.
std::size_t readWindow(std::ifstream& in, std::uint64_t offset, std::vector<std::uint8_t>& window) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in) return 0;
    in.read(reinterpret_cast<char*>(window.data()), static_cast<std::streamsize>(window.size()));
    return static_cast<std::size_t>(in.gcount());
}

}  // namespace

std::string detectCameraPreset(std::size_t n, const std::uint8_t* bytes) {
    static const SignatureScanner scanner(cameraPresetTests());
    return scanner.scan(n, bytes).name;
}

std::string readPresetFromFile(const std::string& path) {
    // Read-only: the reference is never written, and a read-only reference must still be classified.
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end < 0) return {};
    const auto size = static_cast<std::uint64_t>(end);

    std::vector<std::uint8_t> window(kPresetWindowSize);
    std::string result = detectCameraPreset(readWindow(in, 0, window), window.data());
    // A file no longer than one window was read whole by the head.
    if (result.empty() && size > kPresetWindowSize)
        result = detectCameraPreset(readWindow(in, size - kPresetWindowSize, window), window.data());
    return result;
}
