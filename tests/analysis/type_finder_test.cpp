#include "analysis/type_finder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "reference/camera_classifier.h"
#include "tests/support/test_files.h"

namespace {

// `text` placed at byte 100 of a zero-filled window of `size` bytes.
std::vector<std::uint8_t> windowWith(const std::string& text, std::size_t size = 400, std::size_t at = 100) {
    std::vector<std::uint8_t> bytes(size, 0);
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

struct ClassifyCase {
    const char* name;
    std::string bytes;
    const char* type;       // the diagnostic's answer
    const char* preset;     // the reference classifier's answer for the same bytes
    bool matched;
    bool hevc;
};

void PrintTo(const ClassifyCase& c, std::ostream* os) { *os << c.name; }

class TypeFinderClassify : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(TypeFinderClassify, DiffersFromTheReferenceClassifierOnlyWhereItsRowsSay) {
    const ClassifyCase& c = GetParam();
    const std::vector<std::uint8_t> window = windowWith(c.bytes);
    clsTypeFinder finder("unused");
    testing::internal::CaptureStdout();
    EXPECT_EQ(finder.classify(window.size(), window.data()), c.matched);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(finder.result, c.type);
    EXPECT_EQ(finder.isHEVC, c.hevc ? 1 : 0);
    EXPECT_EQ(printed, *c.type ? std::string("found type: ") + c.type + ";\n" : "");
    EXPECT_EQ(detectCameraPreset(window.size(), window.data()), c.preset);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TypeFinderClassify,
    ::testing::Values(
        ClassifyCase{"hevc_gopro", std::string("hvcC....GPRO....HERO5"), "gopro hero 5", "gopro hero 5", true, true},
        ClassifyCase{"hevc_only", "hvcC", "", "", false, true},
        ClassifyCase{"microsoft", "Microsoft H.264 Encoder", "microsoft", "mp4-ext", true, false},
        ClassifyCase{"brands", "isomiso2avc1mp41", "mp4-ext", "mp4-ext", true, false},
        ClassifyCase{"ricoh", "RICOH IMAGING", "ricoh", "", true, false},
        ClassifyCase{"lav", std::string("\x30\x6E\x4B\x8CRUSR1"), "mp4-lav-specific", "", true, false},
        ClassifyCase{"canon_100d", "Canon EOS 100D", "canon eos 100d", "canon", true, false},
        ClassifyCase{"canon_kiss_x7", "Canon EOS Kiss X7", "canon eos 100d", "canon", true, false},
        ClassifyCase{"canon_80d_unchanged", "Canon EOS 80D", "canon eos 80d", "canon eos 80d", true, false},
        ClassifyCase{"mark_iii_before_ii", "Canon EOS 5D Mark III", "canon eos 5d mark iii", "canon eos 5d mark iii",
                     true, false},
        ClassifyCase{"nothing", "plain bytes", "", "", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TypeFinderClassify, FewerThanTwentyTwoBytesGiveNothing) {
    const std::string text = "Canon EOS 100D";
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.resize(21, 0);
    clsTypeFinder finder("unused");
    EXPECT_FALSE(finder.classify(bytes.size(), bytes.data()));
    EXPECT_EQ(finder.result, "");
}

struct FileCase {
    const char* name;
    std::size_t size;
    std::size_t at;
    std::string bytes;
    const char* type;
    bool hevc;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class TypeFinderFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(TypeFinderFile, FindsTheTypeInTheHeadOrTailWindow) {
    const FileCase& c = GetParam();
    testsupport::TempDir dir;
    const std::string path = dir.file("damaged.mp4");
    std::vector<std::uint8_t> bytes = windowWith(c.bytes, c.size, c.at);
    if (c.hevc) std::copy_n("hvcC", 4, bytes.begin() + 8);
    ASSERT_TRUE(testsupport::writeFile(path, std::string(bytes.begin(), bytes.end())));
    // Examined read-only: a file the user cannot write is still classified.
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);

    clsTypeFinder finder(QString::fromStdString(path));
    testing::internal::CaptureStdout();
    EXPECT_EQ(finder.findType(), c.type);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(finder.isHEVC, c.hevc ? 1 : 0);
    EXPECT_EQ(printed.find("HEVC: true;\n") != std::string::npos, c.hevc);
}

constexpr std::size_t kMiB = 1 << 20;

INSTANTIATE_TEST_SUITE_P(
    Windows, TypeFinderFile,
    ::testing::Values(
        // The whole 4 MiB file lies in the head window.
        FileCase{"last_mib_of_small_file", 4 * kMiB, 3 * kMiB + 100, "DJI.AVC", "dji", false},
        FileCase{"tail_window", 12 * kMiB, 12 * kMiB - 1000, "DJI.AVC", "dji", false},
        // Only the H.265 marker in the head: the tail window is read too.
        FileCase{"hevc_head_tail_name", 12 * kMiB, 12 * kMiB - 1000, "GPRO  HERO6", "gopro hero 6", true},
        FileCase{"middle_is_never_read", 12 * kMiB, 6 * kMiB, "DJI.AVC", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TypeFinderFile, AMissingFileGivesNoType) {
    clsTypeFinder finder("no/such/file.mp4");
    EXPECT_EQ(finder.findType(), "");
    EXPECT_EQ(finder.isHEVC, 0);
}

}  // namespace
