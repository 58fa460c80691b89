// Damaged copies of a generated recording run through the structure analysis: cut at many
// points and with bytes of the movie box flipped. None may crash, read out of bounds or hang.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>

#include "reference/mp4_structure.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"

namespace {

// Generous: a healthy run takes milliseconds even under the sanitizers; this only catches hangs.
constexpr double kSecondsPerRun = 10;

std::uint32_t be32(const std::string& b, std::size_t at) {
    return std::uint32_t(std::uint8_t(b[at])) << 24 | std::uint32_t(std::uint8_t(b[at + 1])) << 16 |
           std::uint32_t(std::uint8_t(b[at + 2])) << 8 | std::uint8_t(b[at + 3]);
}

// Start and size of the top-level 'moov' box (32-bit sizes are all the generated clip uses).
bool findMovie(const std::string& file, std::size_t& start, std::size_t& size) {
    std::size_t pos = 0;
    while (pos + 8 <= file.size()) {
        const std::uint32_t boxSize = be32(file, pos);
        if (boxSize < 8) return false;
        if (file.compare(pos + 4, 4, "moov") == 0) {
            start = pos;
            size = boxSize;
            return pos + boxSize <= file.size();
        }
        pos += boxSize;
    }
    return false;
}

double analyseSeconds(const std::string& path) {
    const auto begin = std::chrono::steady_clock::now();
    AnalysisResult result;
    testing::internal::CaptureStdout();
    parseMp4File(path, result);
    testing::internal::GetCapturedStdout();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

testsupport::ClipSpec damagedSource() {
    testsupport::ClipSpec spec;
    spec.seconds = 1;
    return spec;
}

}  // namespace

TEST(DamagedInput, EveryTruncation) {
    // With the movie box last (cut recordings) and first (cuts through the movie and the samples).
    testsupport::ClipSpec movieFirst = damagedSource();
    movieFirst.extraArgs = {"-movflags", "+faststart"};
    for (const testsupport::ClipSpec& spec : {damagedSource(), movieFirst}) {
        const std::string source = testsupport::readFile(testsupport::clip(spec));
        ASSERT_GT(source.size(), 1000u);
        testsupport::TempDir dir;
        const std::string path = dir.file("cut.mp4");
        constexpr int kCuts = 200;
        for (int i = 0; i < kCuts; ++i) {
            const std::size_t length = source.size() * i / kCuts;
            ASSERT_TRUE(testsupport::writeFile(path, source.substr(0, length)));
            EXPECT_LT(analyseSeconds(path), kSecondsPerRun) << "cut at " << length;
        }
    }
}

TEST(DamagedInput, ByteFlipsInTheMovieBox) {
    const std::string source = testsupport::readFile(testsupport::clip(damagedSource()));
    std::size_t moovStart = 0, moovSize = 0;
    ASSERT_TRUE(findMovie(source, moovStart, moovSize));
    testsupport::TempDir dir;
    const std::string path = dir.file("flipped.mp4");
    ASSERT_TRUE(testsupport::writeFile(path, source));

    std::mt19937 random(20261210);
    std::uniform_int_distribution<std::size_t> where(moovStart, moovStart + moovSize - 1);
    std::uniform_int_distribution<int> value(0, 255);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(file.is_open());
    for (int i = 0; i < 3000; ++i) {
        const std::size_t at = where(random);
        // Every other run sets the byte to an extreme value, which reaches size and count fields.
        const char replacement = i % 2 ? static_cast<char>(value(random)) : (i % 4 == 0 ? '\xFF' : '\0');
        file.seekp(static_cast<std::streamoff>(at));
        file.put(replacement);
        file.flush();
        EXPECT_LT(analyseSeconds(path), kSecondsPerRun) << "byte " << at << " set to " << int(std::uint8_t(replacement));
        file.seekp(static_cast<std::streamoff>(at));
        file.put(source[at]);
        file.flush();
    }
}
