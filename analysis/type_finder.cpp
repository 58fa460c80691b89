#include "analysis/type_finder.h"

#include <QFile>

#include <algorithm>
#include <iostream>
#include <vector>

#include "reference/camera_signatures.h"

namespace {

using namespace std::string_view_literals;

std::vector<CameraTest>::iterator rowNamed(std::vector<CameraTest>& tests, std::string_view name) {
    return std::find_if(tests.begin(), tests.end(), [&](const CameraTest& t) { return name == t.name; });
}

// The reference classifier's table with the diagnostic's own rows: the H.265 marker and the
// lav-specific box after the first test, the encoder texts told apart from the brand
// sequences, and the Canon EOS 100D names before the 550D.
std::vector<CameraTest> typeFinderTests() {
    std::vector<CameraTest> tests = cameraPresetTests();
    tests.insert(tests.begin() + 1, {CameraTest{{"hvcC"sv}, "", Scan::GoesOn, true},
                                     CameraTest{{"\x30\x6E\x4B\x8C" "RUSR1"sv}, "mp4-lav-specific", Scan::Ends}});

    auto brands = rowNamed(tests, "mp4-ext");
    brands = tests.erase(brands);
    tests.insert(brands, {CameraTest{{"Microsoft H.264 Encoder"sv}, "microsoft", Scan::Ends},
                          CameraTest{{"mp42mp41isomiso2"sv}, "mp4-ext", Scan::GoesOn},
                          CameraTest{{"RICOH IMAGING"sv}, "ricoh", Scan::Ends},
                          CameraTest{{"isomiso2avc1mp41"sv}, "mp4-ext", Scan::GoesOn}});

    tests.insert(rowNamed(tests, "canon eos 80d") + 1,
                 {CameraTest{{"Canon EOS Kiss X7"sv}, "canon eos 100d", Scan::Ends},
                  CameraTest{{"Canon EOS 100D"sv}, "canon eos 100d", Scan::Ends}});
    return tests;
}

const SignatureScanner& typeFinderScanner() {
    static const SignatureScanner scanner(typeFinderTests());
    return scanner;
}

}  // namespace

clsTypeFinder::clsTypeFinder(const QString& p) : path(p) {}

bool clsTypeFinder::classify(std::size_t n, const std::uint8_t* bytes) {
    const SignatureScanResult scan = typeFinderScanner().scan(n, bytes);
    if (scan.sawHevc) isHEVC = 1;
    if (scan.matched) result = scan.name;
    if (!result.empty()) std::cout << "found type: " << result << ";" << std::endl;
    return scan.matched;
}

std::string clsTypeFinder::findType() {
    classifyHeadThenTail(QFile::encodeName(path).toStdString(), kTypeFinderWindowSize,
                         [this](std::size_t n, const std::uint8_t* bytes) { return classify(n, bytes); });
    if (isHEVC) std::cout << "HEVC: true;" << std::endl;
    return result;
}
