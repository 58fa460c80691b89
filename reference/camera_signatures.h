#pragma once
// Byte-signature tables that tell the camera or encoder of a file, and the one matcher that
// scans a window of bytes against such a table. Tests run in table order at each offset; a test
// that ends the scan returns its name at once, one that goes on leaves its name as the result
// so far.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One byte string expected at `offset` from the scan position.
struct SignaturePiece {
    std::size_t offset;
    std::string_view bytes;
};

// A signature matches when all its pieces do; the first piece sits at offset 0.
struct Signature {
    std::vector<SignaturePiece> pieces;

    Signature(std::string_view text) : pieces{{0, text}} {}
    Signature(std::initializer_list<SignaturePiece> parts) : pieces(parts) {}
};

enum class Scan { Ends, GoesOn };

struct CameraTest {
    std::vector<Signature> signatures;
    const char* name;
    Scan scan;
    // Marks H.265 content instead of naming a camera; such a test is no match of its own.
    bool marksHevc;

    CameraTest(std::vector<Signature> s, const char* n, Scan sc, bool hevc = false)
        : signatures(std::move(s)), name(n), scan(sc), marksHevc(hevc) {}
};

// The classifier's table of the reference analysis.
const std::vector<CameraTest>& cameraPresetTests();

struct SignatureScanResult {
    std::string name;       // empty when no naming test matched
    bool matched = false;   // a naming test matched
    bool sawHevc = false;   // a test marking H.265 content matched
};

// Scan positions stop this many bytes before the window's end.
constexpr std::size_t kSignatureScanTail = 22;

// Scans offsets 0 .. n - 22 of `bytes` against one table (fewer than 22 bytes give nothing).
// Every signature is compared only where it lies wholly inside the n bytes.
class SignatureScanner {
public:
    explicit SignatureScanner(std::vector<CameraTest> tests);
    SignatureScanResult scan(std::size_t n, const std::uint8_t* bytes) const;

private:
    struct Candidate {
        std::size_t test;
        const Signature* signature;
    };
    std::vector<CameraTest> tests_;
    // The signatures that can start with each byte value, in table order.
    std::vector<std::vector<Candidate>> byFirstByte_;
};

// Hands `classify` the first `windowSize` bytes of the file at `path` and, when that gave no
// answer (`classify` returned false) and the file is longer than one window, its last
// `windowSize` bytes. The file is opened read-only. False when it cannot be opened or is not a
// regular file.
bool classifyHeadThenTail(const std::string& path, std::size_t windowSize,
                          const std::function<bool(std::size_t n, const std::uint8_t* bytes)>& classify);
