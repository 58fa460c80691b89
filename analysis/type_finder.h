#pragma once
// The diagnostic's camera type finder: the reference classifier's signature scan over larger
// windows of a damaged file, with a few signatures of its own and a flag for H.265 content.
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>

// Bytes read from each end of the file.
constexpr std::size_t kTypeFinderWindowSize = 5000000;

class clsTypeFinder {
public:
    explicit clsTypeFinder(const QString& path);

    // Classifies the head window, and the tail window when the head named nothing; prints
    // "HEVC: true;" when H.265 content was seen. Returns the type name, empty for none.
    std::string findType();
    // Scans `n` bytes: updates `result` and `isHEVC`; true when a naming test matched.
    bool classify(std::size_t n, const std::uint8_t* bytes);

    std::uint8_t isHEVC = 0;
    std::string result;
    QString path;
};
