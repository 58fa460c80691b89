// Time to classify one full window that holds no signature, the classifier's worst case
// (a reference without any signature is scanned twice, head and tail).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "reference/camera_classifier.h"

int main() {
    std::vector<std::uint8_t> window(kPresetWindowSize);
    std::mt19937 random(7);
    for (auto& byte : window) byte = static_cast<std::uint8_t>(random());
    const int rounds = 5;
    std::size_t found = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) found += detectCameraPreset(window.size(), window.data()).size();
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("camera_classifier_window_ms: %.2f\n", elapsed.count() / rounds);
    std::printf("camera_classifier_names_found: %zu\n", found);
    return 0;
}
