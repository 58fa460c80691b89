// The frame walk split over threads gives exactly the serial walk's output, statistics, progress
// lines and result, wherever the pieces' boundaries fall: inside frames, junk or runs of one
// byte value; and such regions inside the sound leave every frame around them as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/test_files.h"
#include "tests/tools/aac_fixtures.h"
#include "tools/brannoc/adts_reframer.h"

using namespace testsupport;

namespace {

struct Outcome {
    brannoc::ReframeResult result;
    std::string output;
    std::vector<std::string> progress;
    std::uint64_t frames, frameBytes, skippedBytes;
};

Outcome reframeFile(const std::string& path, const brannoc::ReframeOptions& options) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> input(std::fopen(path.c_str(), "rb"), &std::fclose);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> output(std::tmpfile(), &std::fclose);
    EXPECT_TRUE(input && output);
    brannoc::ReframeStats stats;
    std::vector<std::string> progress;
    const auto size = static_cast<std::uint64_t>(fileSize(path));
    const brannoc::ReframeResult result = brannoc::reframe(input.get(), size, output.get(), stats, [&](double percent) {
        char line[64];
        std::snprintf(line, sizeof line, "done=%.1f, frames=%llu", percent, static_cast<unsigned long long>(stats.frames));
        progress.emplace_back(line);
    }, options);
    std::string bytes;
    std::rewind(output.get());
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, output.get())) > 0;) bytes.append(buffer, n);
    return {result, bytes, progress, stats.frames, stats.frameBytes, stats.skippedBytes};
}

std::string randomBytes(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

std::string noJunk(std::size_t) { return std::string(); }
std::string junkBetweenFrames(std::size_t frame) { return randomBytes(13 + frame % 41, static_cast<unsigned>(frame) + 1u); }
// A zero run that the coarse splits' pieces hold whole and the fine ones cut into many.
std::string zeroRun(std::size_t frame) { return frame == 30 ? std::string(2000, '\0') : std::string(); }
std::string junkStretch(std::size_t frame) { return frame == 8 ? randomBytes(30000, 77) : std::string(); }

enum class Ending { Whole, CutLastFrame };

struct SplitCase {
    const char* name;
    AacSource source;
    std::string (*junk)(std::size_t frame);
    Ending ending;
};

const SplitCase kCases[] = {
    {"stereo", {48000, 2}, noJunk, Ending::Whole},
    {"surround_5_1", {32000, 6}, noJunk, Ending::Whole},
    {"stereo_junk_between_frames", {48000, 2}, junkBetweenFrames, Ending::Whole},
    {"surround_junk_between_frames", {32000, 6}, junkBetweenFrames, Ending::Whole},
    {"stereo_zero_run", {48000, 2}, zeroRun, Ending::Whole},
    {"mono_zero_run", {44100, 1}, zeroRun, Ending::Whole},
    {"stereo_junk_longer_than_pieces", {48000, 2}, junkStretch, Ending::Whole},
    {"stereo_cut_last_frame", {48000, 2}, noJunk, Ending::CutLastFrame},
    {"surround_junk_cut_last_frame", {32000, 6}, junkBetweenFrames, Ending::CutLastFrame},
};

// Splits from two pieces to pieces much shorter than a frame, where some pieces' walks run out
// before they meet a later one and the join walks on by itself.
const brannoc::ReframeOptions kSplits[] = {
    {2, 8 * 1024}, {3, 4 * 1024}, {8, 2 * 1024}, {64, 256}, {256, 16},
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }
class BrannocSplit : public ::testing::TestWithParam<SplitCase> {};

void expectSameAsSerial(const std::string& path, const brannoc::ReframeOptions& split, const Outcome& serial) {
    SCOPED_TRACE("threads " + std::to_string(split.threads) + ", pieces of " + std::to_string(split.minPiece));
    const Outcome parallel = reframeFile(path, split);
    EXPECT_EQ(parallel.result, serial.result);
    EXPECT_TRUE(parallel.output == serial.output) << "outputs of " << parallel.output.size() << " and "
                                                  << serial.output.size() << " bytes differ";
    EXPECT_EQ(parallel.progress, serial.progress);
    EXPECT_EQ(parallel.frames, serial.frames);
    EXPECT_EQ(parallel.frameBytes, serial.frameBytes);
    EXPECT_EQ(parallel.skippedBytes, serial.skippedBytes);
}

}  // namespace

TEST_P(BrannocSplit, EverySplitGivesTheSerialOutput) {
    TempDir dir;
    const auto frames = adtsFrames(readFile(makeAdts(dir, GetParam().source)));
    ASSERT_GT(frames.size(), 20u);
    std::string raw = engineAudio(frames, GetParam().junk);
    if (GetParam().ending == Ending::CutLastFrame) raw.resize(raw.size() - (frames.back().size() - 7) / 2);
    const std::string path = dir.file("audio.raw");
    ASSERT_TRUE(writeFile(path, raw));

    const Outcome serial = reframeFile(path, {1, 0});
    ASSERT_EQ(serial.result, brannoc::ReframeResult::Ok);
    ASSERT_GT(serial.frames, frames.size() - 2);
    for (const brannoc::ReframeOptions& split : kSplits) expectSameAsSerial(path, split, serial);
}

INSTANTIATE_TEST_SUITE_P(Inputs, BrannocSplit, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Inputs just shorter and longer than two pieces, with the boundary landing at each place of a
// frame: the split turns on and off there without changing the output.
TEST(BrannocSplit, InputSizesAroundThePieceBoundaries) {
    TempDir dir;
    const auto frames = adtsFrames(readFile(makeAdts(dir, {48000, 2})));
    const std::string whole = engineAudio(frames, junkBetweenFrames);
    constexpr std::uint64_t kPiece = 4096;
    const std::string path = dir.file("audio.raw");
    for (std::uint64_t span = 2 * kPiece - 3; span <= 2 * kPiece + 600; span += 41) {
        SCOPED_TRACE("bytes behind the header: " + std::to_string(span));
        ASSERT_TRUE(writeFile(path, whole.substr(0, 7 + span)));
        const Outcome serial = reframeFile(path, {1, 0});
        expectSameAsSerial(path, {2, kPiece}, serial);
    }
}

namespace {

struct Layout {
    const char* name;
    AacSource source;
};
const Layout kLayouts[] = {
    {"mono", {44100, 1}},
    {"stereo", {48000, 2}},
    {"surround_5_1", {32000, 6}},
    {"quad_program_config", quadSource()},
};

struct Region {
    const char* name;
    std::string (*bytes)();
};
// Runs longer than the pieces of most splits, of values that zero or erased space holds and of
// one that opens a channel pair element; and junk that decodes nowhere.
const Region kRegions[] = {
    {"zeros", [] { return std::string(300000, '\x00'); }},
    {"erased_flash", [] { return std::string(300000, '\xFF'); }},
    {"run_of_0x21", [] { return std::string(300000, '\x21'); }},
    {"junk", [] { return randomBytes(20000, 4242); }},
};

using RegionCase = std::tuple<Layout, Region>;
class BrannocRegion : public ::testing::TestWithParam<RegionCase> {};

const brannoc::ReframeOptions kRegionSplits[] = {{3, 64 * 1024}, {8, 16 * 1024}, {64, 256}};

}  // namespace

TEST_P(BrannocRegion, FramesAroundTheRegionComeBackAsTheyWere) {
    const auto& [layout, region] = GetParam();
    TempDir dir;
    const std::string original = readFile(makeAdts(dir, layout.source));
    const auto frames = adtsFrames(original);
    ASSERT_GT(frames.size(), 20u);
    const std::string path = dir.file("audio.raw");
    const std::string bytes = region.bytes();
    ASSERT_TRUE(writeFile(path, engineAudio(frames, [&](std::size_t i) { return i == 10 ? bytes : std::string(); })));

    const Outcome serial = reframeFile(path, {1, 0});
    ASSERT_EQ(serial.result, brannoc::ReframeResult::Ok);
    EXPECT_TRUE(serial.output == original) << adtsFrames(serial.output).size() << " frames of " << frames.size();
    EXPECT_EQ(serial.skippedBytes, bytes.size());
    for (const brannoc::ReframeOptions& split : kRegionSplits) expectSameAsSerial(path, split, serial);
}

INSTANTIATE_TEST_SUITE_P(Layouts, BrannocRegion, ::testing::Combine(::testing::ValuesIn(kLayouts), ::testing::ValuesIn(kRegions)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });
