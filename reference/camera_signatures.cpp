#include "reference/camera_signatures.h"

#include <cstring>
#include <fstream>

#include "mp4/regular_file.h"

namespace {

using namespace std::string_view_literals;

// Reads up to `window.size()` bytes at `offset`; returns the count read.
std::size_t readWindow(std::ifstream& in, std::uint64_t offset, std::vector<std::uint8_t>& window) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in) return 0;
    in.read(reinterpret_cast<char*>(window.data()), static_cast<std::streamsize>(window.size()));
    return static_cast<std::size_t>(in.gcount());
}

// True when every piece of `sig` lies wholly inside the n bytes and equals them.
bool matchesAt(const Signature& sig, const std::uint8_t* bytes, std::size_t n, std::size_t at) {
    for (const SignaturePiece& piece : sig.pieces) {
        const std::size_t start = at + piece.offset;
        if (start > n || piece.bytes.size() > n - start) return false;
        if (bytes[start] != static_cast<std::uint8_t>(piece.bytes[0])) return false;
        if (std::memcmp(bytes + start, piece.bytes.data(), piece.bytes.size()) != 0) return false;
    }
    return true;
}

}  // namespace

// Order matters: at one offset the tests run top to bottom, so a longer text comes before a
// shorter one that is its prefix ("iPhone 6s Plus" before "iPhone 6").
const std::vector<CameraTest>& cameraPresetTests() {
    static const std::vector<CameraTest> table = {
        {{Signature{{0, "frea"sv}, {8, "tima"sv}}}, "novatek", Scan::Ends},
        {{"mp42mp41isomiso2"sv, "isomiso2avc1mp41"sv, "Microsoft H.264 Encoder"sv}, "mp4-ext", Scan::GoesOn},
        {{"icpf"sv}, "apple prores", Scan::Ends},
        {{"\x00\x00\x00\x0B" "HVCgd3_3840"sv}, "gd3_3840", Scan::Ends},
        {{"skip" "\xE0\x46\xD8"sv}, "mivue", Scan::Ends},
        {{"GPRO"sv}, "gopro", Scan::GoesOn},
        {{"HERO4"sv}, "gopro hero 4", Scan::Ends},
        {{"HERO5"sv}, "gopro hero 5", Scan::Ends},
        {{"HERO6"sv}, "gopro hero 6", Scan::Ends},
        {{"HERO3"sv, "FIRMHD3"sv}, "gopro hero 3", Scan::Ends},
        {{"DJI.AVC"sv, "DJI.HVC"sv, "DJI AVC ENCODER"sv}, "dji", Scan::Ends},
        {{"iCat"sv, "ICAT"sv, "ICat"sv, "icatch"sv, "iCatch"sv}, "icat", Scan::Ends},
        {{"Nextbase"sv, "nextbase"sv, "NEXTBASE"sv}, "nextbase", Scan::Ends},
        {{"AMBA"sv, "ambarella"sv, "Ambarella"sv}, "ambarella", Scan::Ends},
        {{"AEE AVC ENCODER"sv, "aee avc encoder"sv}, "dji", Scan::Ends},
        {{"iPhone"sv, "iphone"sv, "IPHONE"sv}, "iphone", Scan::GoesOn},
        {{"Pittasoft"sv, "pittasoft"sv, "PITTASOFT"sv}, "blackvue", Scan::Ends},
        {{"smrdTRUEBLUE"sv}, "samsung", Scan::Ends},
        {{"PANA"sv, "pana"sv}, "panasonic", Scan::Ends},
        {{"fc6310"sv, "FC6310"sv}, "dji", Scan::Ends},
        {{"gy-hm150"sv, "GY-HM150"sv, "gy-hm"sv, "GY-HM"sv}, "jvc", Scan::Ends},
        {{"iPhone 6s Plus"sv, "iPhone 6S Plus"sv, "iphone 6s plus"sv}, "iphone 6s plus", Scan::Ends},
        {{"iPhone 6 Plus"sv, "iphone 6 plus"sv, "iPhone 6 plus"sv}, "iphone 6 plus", Scan::Ends},
        {{"iPhone 6s"sv, "iphone 6s"sv, "IPHONE 6S"sv}, "iphone 6s", Scan::Ends},
        // Lower case like every other name: the repair engine tests names by lower-case substrings.
        {{"iPhone 6"sv, "IPHONE 6"sv}, "iphone 6", Scan::Ends},
        {{"iPhone 4s"sv, "IPHONE 4S"sv}, "iphone 4s", Scan::Ends},
        {{"iPhone 4"sv, "IPHONE 4"sv}, "iphone 4", Scan::Ends},
        {{"iPhone 5"sv, "IPHONE 5"sv}, "iphone 5", Scan::Ends},
        {{"iPhone 7 Plus"sv, "iphone 7 plus"sv, "IPHONE 7 PLUS"sv}, "iphone 7 plus", Scan::Ends},
        {{"iPhone 7"sv, "IPHONE 7"sv}, "iphone 7", Scan::Ends},
        {{"iPhone 8 Plus"sv}, "iphone 8 plus", Scan::Ends},
        {{"iPhone 8"sv}, "iphone 8", Scan::Ends},
        {{"iPhone X"sv, "iPhone x"sv, "iphone x"sv}, "iphone x", Scan::Ends},
        {{"Canon EOS 5D Mark III"sv}, "canon eos 5d mark iii", Scan::Ends},
        {{"Canon EOS 5D Mark II"sv}, "canon eos 5d mark ii", Scan::Ends},
        {{"Canon EOS 5D Mark IV"sv}, "canon eos 5d mark iv", Scan::Ends},
        {{"Canon EOS 6D Mark II"sv}, "canon eos 6d mark ii", Scan::Ends},
        {{"Canon EOS 6D"sv}, "canon eos 6d", Scan::Ends},
        {{"Canon EOS 70D"sv}, "canon eos 70d", Scan::Ends},
        {{"Canon EOS 80D"sv}, "canon eos 80d", Scan::Ends},
        {{"Canon EOS 550D"sv}, "canon eos 550d", Scan::Ends},
        {{"Canon EOS 700D"sv}, "canon eos 700d", Scan::Ends},
        {{"Canon EOS M50"sv}, "canon eos m50", Scan::Ends},
        {{"Canon EOS 200D"sv}, "canon eos 200d", Scan::Ends},
        {{"Canon EOS Rebel T5i"sv, "Canon EOS Rebel T5I"sv}, "canon eos 700d", Scan::Ends},
        {{"Canon EOS 750D"sv}, "canon eos 750d", Scan::Ends},
        {{"Canon EOS Rebel T6i"sv, "Canon EOS Rebel T6I"sv}, "canon eos 750d", Scan::Ends},
        {{"Canon EOS 600D"sv}, "canon eos 600d", Scan::Ends},
        {{"Canon EOS 1300D"sv}, "canon eos 1300d", Scan::Ends},
        {{"Canon EOS 1100D"sv}, "canon eos 1100d", Scan::Ends},
        {{"Canon LEGRIA HF R606"sv, "Canon LEGRIA"sv}, "canon legria hf r606", Scan::Ends},
        {{"Canon EOS M10"sv}, "canon eos m10", Scan::Ends},
        {{"Canon XA20"sv}, "canon xa20", Scan::Ends},
        {{"Canon VIXIA HF G40"sv, "Canon VIXIA"sv}, "canon vixia hf g40", Scan::Ends},
        {{"Canon POWERSHOT"sv, "Canon PowerShot"sv, "Canon powershot"sv}, "canon powershot", Scan::Ends},
        {{"CanonAVC"sv, "CanonMP4"sv, "Canon"sv}, "canon", Scan::GoesOn},
        {{"niko"sv, "Niko"sv, "NIKON"sv}, "nikon", Scan::Ends},
        {{"android"sv, "ANDROID"sv, "Android"sv}, "android", Scan::Ends},
        {{"ftypXAVC"sv}, "sony", Scan::Ends},
        {{"ftypMSNV"sv}, "sony_psp", Scan::Ends},
    };
    return table;
}

SignatureScanner::SignatureScanner(std::vector<CameraTest> tests) : tests_(std::move(tests)), byFirstByte_(256) {
    for (std::size_t t = 0; t < tests_.size(); ++t)
        for (const Signature& sig : tests_[t].signatures)
            byFirstByte_[static_cast<std::uint8_t>(sig.pieces.front().bytes.front())].push_back({t, &sig});
}

SignatureScanResult SignatureScanner::scan(std::size_t n, const std::uint8_t* bytes) const {
    SignatureScanResult out;
    if (bytes == nullptr || n < kSignatureScanTail) return out;
    for (std::size_t i = 0; i + kSignatureScanTail <= n; ++i) {
        std::size_t lastMatched = tests_.size();
        for (const Candidate& c : byFirstByte_[bytes[i]]) {
            if (c.test == lastMatched || !matchesAt(*c.signature, bytes, n, i)) continue;
            lastMatched = c.test;  // one match per test and position
            const CameraTest& test = tests_[c.test];
            if (test.marksHevc) {
                out.sawHevc = true;
                continue;
            }
            out.name = test.name;
            out.matched = true;
            if (test.scan == Scan::Ends) return out;
        }
    }
    return out;
}

bool classifyHeadThenTail(const std::string& path, std::size_t windowSize,
                          const std::function<bool(std::size_t n, const std::uint8_t* bytes)>& classify) {
    if (!mp4::isRegularFile(path)) return false;
    // Read-only: the file is never written, and a read-only file must still be classified.
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end < 0) return false;
    const auto size = static_cast<std::uint64_t>(end);

    std::vector<std::uint8_t> window(windowSize);
    // A file no longer than one window was read whole by the head.
    if (!classify(readWindow(in, 0, window), window.data()) && size > windowSize)
        classify(readWindow(in, size - windowSize, window), window.data());
    return true;
}
