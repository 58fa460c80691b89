// The audio-repair stand-in, run as the job runs it: raw AAC frames behind one ADTS header in,
// every frame behind its own header out.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "media/access_codes.h"
#include "media/work_file_names.h"
#include "reference/mp4_structure.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_frames.h"
#include "tests/support/test_process.h"
#include "tests/tools/aac_fixtures.h"

using namespace testsupport;

namespace {

ProcessResult runBrannoc(const std::string& input, const std::string& code = kAudioRepairAccessCode) {
    return runProcess({programPath("Brannoc"), input, code});
}

}  // namespace

class BrannocSources : public ::testing::TestWithParam<AacSource> {};

TEST_P(BrannocSources, CleanFramesComeBackByteIdentical) {
    TempDir dir;
    const std::string original = makeAdts(dir, GetParam());
    const auto frames = adtsFrames(readFile(original));
    ASSERT_GT(frames.size(), 20u);
    const std::string raw = dir.file("out-audio.raw");
    ASSERT_TRUE(writeFile(raw, engineAudio(frames, [](std::size_t) { return std::string(); })));

    ProcessResult r = runBrannoc(raw);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(raw + kCheckedAudioSuffix), readFile(original));
    EXPECT_EQ(decodedSound(raw + kCheckedAudioSuffix), decodedSound(original));
}

INSTANTIATE_TEST_SUITE_P(Configurations, BrannocSources,
                         ::testing::Values(AacSource{48000, 2}, AacSource{44100, 1}, AacSource{32000, 6},
                                           // Channel configuration 0: the layout is in a program config element.
                                           quadSource(),
                                           // The profile goes out as it came in.
                                           AacSource{48000, 2, 2, "main_profile", {"-profile:a", "aac_main"}}),
                         [](const auto& info) {
                             return std::to_string(info.param.rate) + "hz_" + std::to_string(info.param.channels) + "ch" +
                                    (info.param.variant ? std::string("_") + info.param.variant : std::string());
                         });

struct JunkCase {
    const char* name;
    std::string (*junk)(std::size_t frame);
};

std::string randomJunk(std::size_t frame) {
    std::mt19937 random(static_cast<unsigned>(frame) * 7919u + 1u);
    std::string bytes(13 + frame % 41, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}
std::string zeroJunk(std::size_t frame) { return std::string(frame % 3 == 0 ? 16 : 0, '\0'); }
std::string syncLikeJunk(std::size_t) { return std::string("\xFF\xF1\x50\x80\x21\x00", 6); }

void PrintTo(const JunkCase& c, std::ostream* os) { *os << c.name; }

class BrannocJunk : public ::testing::TestWithParam<JunkCase> {};

TEST_P(BrannocJunk, JunkBetweenFramesIsSkipped) {
    TempDir dir;
    const std::string original = makeAdts(dir, {48000, 2});
    const auto frames = adtsFrames(readFile(original));
    ASSERT_GT(frames.size(), 20u);
    const std::string raw = dir.file("out-audio.raw");
    ASSERT_TRUE(writeFile(raw, engineAudio(frames, GetParam().junk)));

    ProcessResult r = runBrannoc(raw);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(adtsFrames(readFile(raw + kCheckedAudioSuffix)).size(), frames.size());
    EXPECT_EQ(decodedSound(raw + kCheckedAudioSuffix), decodedSound(original));
}

INSTANTIATE_TEST_SUITE_P(Patterns, BrannocJunk,
                         ::testing::Values(JunkCase{"random", randomJunk}, JunkCase{"zeros", zeroJunk},
                                           JunkCase{"sync_like", syncLikeJunk}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Brannoc, ReportsProgressAsDoneLines) {
    TempDir dir;
    const auto frames = adtsFrames(readFile(makeAdts(dir, {48000, 2})));
    const std::string raw = dir.file("a.raw");
    ASSERT_TRUE(writeFile(raw, engineAudio(frames, [](std::size_t) { return std::string(); })));
    ProcessResult r = runBrannoc(raw);
    ASSERT_EQ(r.exitCode, 0);
    // The job reads "done=" up to the "." as the percentage and needs a "," behind the value.
    EXPECT_NE(r.out.find("done=100.0,"), std::string::npos) << r.out;
}

struct RefusedCase {
    const char* name;
    std::string (*content)(const std::vector<std::string>& frames);
    std::string code;
    bool expectFile;
};

TEST(Brannoc, RefusesWithoutInventingAudio) {
    const std::vector<RefusedCase> cases = {
        {"no header", [](const std::vector<std::string>& f) { return engineAudio(f, [](std::size_t) { return std::string(); }).substr(7); }, kAudioRepairAccessCode, false},
        {"header only", [](const std::vector<std::string>& f) { return f.at(0).substr(0, 7); }, kAudioRepairAccessCode, false},
        {"header then junk", [](const std::vector<std::string>& f) { return f.at(0).substr(0, 7) + std::string(5000, '\x55'); }, kAudioRepairAccessCode, false},
        {"empty file", [](const std::vector<std::string>&) { return std::string(); }, kAudioRepairAccessCode, false},
        // Channel configuration 0 says the layout follows in a program config element; without
        // one nothing tells what the frames hold.
        {"channel configuration 0 without its element",
         [](const std::vector<std::string>& f) {
             std::string raw = engineAudio(f, [](std::size_t) { return std::string(); });
             raw[2] = static_cast<char>(raw[2] & ~1);
             raw[3] = static_cast<char>(raw[3] & 0x3F);
             return raw;
         },
         kAudioRepairAccessCode, false},
        {"wrong code", [](const std::vector<std::string>& f) { return engineAudio(f, [](std::size_t) { return std::string(); }); }, "7305918462QK.384", false},
        {"code in other case", [](const std::vector<std::string>& f) { return engineAudio(f, [](std::size_t) { return std::string(); }); }, "7305918462qk.3840", false},
    };
    TempDir dir;
    const auto frames = adtsFrames(readFile(makeAdts(dir, {48000, 2})));
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string raw = dir.file("case.raw");
        ASSERT_TRUE(writeFile(raw, c.content(frames)));
        ProcessResult r = runBrannoc(raw, c.code);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_FALSE(fileExists(raw + kCheckedAudioSuffix));
    }
}

namespace {
std::string noise(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// Whether `frames` holds every one of `wanted`, in order.
bool holdsInOrder(const std::vector<std::string>& frames, const std::vector<std::string>& wanted) {
    std::size_t next = 0;
    for (const std::string& frame : frames)
        if (next < wanted.size() && frame == wanted[next]) ++next;
    return next == wanted.size();
}

struct ShareCase {
    const char* name;
    AacSource source;
    // The input from the recording's frames.
    std::string (*input)(const std::vector<std::string>& frames);
    bool keptEveryFrame;  // else refused, with no file left
};
void PrintTo(const ShareCase& c, std::ostream* os) { *os << c.name; }
class BrannocShare : public ::testing::TestWithParam<ShareCase> {};

std::string afterFrame10(const std::vector<std::string>& frames, const std::string& region) {
    return engineAudio(frames, [&](std::size_t i) { return i == 10 ? region : std::string(); });
}
std::string headerThen(const std::vector<std::string>& frames, const std::string& rest) {
    return frames.at(0).substr(0, leadSize(frames[0])) + rest;
}
}  // namespace

// Real frames make a stream the recording's sound however little of the input they cover (two
// seconds of sound around 2 MB of erased flash); what decodes only by chance, in noise, does not.
TEST_P(BrannocShare, KeepsRealFramesWhateverTheirShareAndRefusesNoise) {
    const ShareCase& c = GetParam();
    TempDir dir;
    const std::string original = makeAdts(dir, c.source);
    const auto frames = adtsFrames(readFile(original));
    ASSERT_GT(frames.size(), 20u);
    const std::string input = dir.file("out-audio.raw");
    ASSERT_TRUE(writeFile(input, c.input(frames)));

    const ProcessResult r = runBrannoc(input);
    if (!c.keptEveryFrame) {
        EXPECT_NE(r.exitCode, 0) << r.out;
        EXPECT_FALSE(fileExists(input + kCheckedAudioSuffix));
        return;
    }
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(holdsInOrder(adtsFrames(readFile(input + kCheckedAudioSuffix)), frames));
    EXPECT_EQ(decodedSound(input + kCheckedAudioSuffix).size(), decodedSound(original).size());
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BrannocShare,
    ::testing::Values(
        ShareCase{"stereo_around_erased_flash", {48000, 2},
                  [](const std::vector<std::string>& f) { return afterFrame10(f, std::string(2 << 20, '\xFF')); }, true},
        ShareCase{"mono_around_zeros", {44100, 1},
                  [](const std::vector<std::string>& f) { return afterFrame10(f, std::string(2 << 20, '\0')); }, true},
        ShareCase{"quad_around_erased_flash", quadSource(),
                  [](const std::vector<std::string>& f) { return afterFrame10(f, std::string(2 << 20, '\xFF')); }, true},
        ShareCase{"stereo_around_noise_ten_times_its_size", {48000, 2},
                  [](const std::vector<std::string>& f) { return afterFrame10(f, noise(400000, 3)); }, true},
        ShareCase{"mono_noise", {44100, 1}, [](const std::vector<std::string>& f) { return headerThen(f, noise(1 << 20, 5)); }, false},
        ShareCase{"stereo_noise", {48000, 2}, [](const std::vector<std::string>& f) { return headerThen(f, noise(1 << 20, 6)); }, false},
        ShareCase{"surround_5_1_noise", {32000, 6},
                  [](const std::vector<std::string>& f) { return headerThen(f, noise(1 << 20, 7)); }, false},
        ShareCase{"quad_noise", quadSource(),
                  [](const std::vector<std::string>& f) { return headerThen(f, noise(1 << 20, 8)); }, false},
        ShareCase{"erased_flash_alone", {48000, 2},
                  [](const std::vector<std::string>& f) { return headerThen(f, std::string(2 << 20, '\xFF')); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Mono AAC whose header says two channels (a 3GP sample entry always does): over some seconds a
// frame decodes now and then by chance, which is not the recording's sound. The program says so
// instead of leaving those few frames as if the audio were repaired.
TEST(Brannoc, HeaderOfAnotherChannelCountIsRefused) {
    TempDir dir;
    const auto frames = adtsFrames(readFile(makeAdts(dir, {48000, 1, 15})));
    ASSERT_GT(frames.size(), 20u);
    std::string raw = engineAudio(frames, [](std::size_t) { return std::string(); });
    raw[3] = static_cast<char>((static_cast<std::uint8_t>(raw[3]) & 0x3F) | (2 << 6));  // channel configuration 2
    const std::string input = dir.file("mono.raw");
    ASSERT_TRUE(writeFile(input, raw));
    const ProcessResult r = runBrannoc(input);
    EXPECT_NE(r.exitCode, 0) << r.out;
    EXPECT_FALSE(fileExists(input + kCheckedAudioSuffix));
}

namespace {
struct RecordingCase {
    const char* name;
    Container container;
    int channels;
};
void PrintTo(const RecordingCase& c, std::ostream* os) { *os << c.name; }
class BrannocWithTheReferenceHeader : public ::testing::TestWithParam<RecordingCase> {};
}  // namespace

// The header the reference analysis builds for sound whose sample entry says two channels
// fits the frames: every frame comes back.
TEST_P(BrannocWithTheReferenceHeader, KeepsEveryFrame) {
    ClipSettings settings = clipSettings(VideoCodec::None, AudioCodec::Aac, GetParam().container);
    settings.seconds = 4;
    settings.audioChannels = GetParam().channels;
    const std::string recording = clip(settings);
    ASSERT_FALSE(recording.empty());
    AnalysisResult reference;
    parseMp4File(recording, reference);
    ASSERT_EQ(reference.tracks.size(), 1u);
    EXPECT_EQ(reference.tracks[0].channelCount, 2) << "the sample entry no longer shows the fault";

    TempDir dir;
    const std::string adts = dir.file("copy.aac");
    const ProcessResult copied = runProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", recording, "-c:a", "copy", "-f", "adts", adts});
    ASSERT_EQ(copied.exitCode, 0) << copied.err;
    const auto frames = adtsFrames(readFile(adts));
    ASSERT_GT(frames.size(), 100u);
    const auto& header = reference.tracks[0].adtsHeader;
    std::string raw(header.begin(), header.end());
    for (const std::string& frame : frames) raw += frame.substr(7);
    const std::string input = dir.file("out-audio.raw");
    ASSERT_TRUE(writeFile(input, raw));

    const ProcessResult r = runBrannoc(input);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(adtsFrames(readFile(input + kCheckedAudioSuffix)).size(), frames.size());
    EXPECT_EQ(decodedSound(input + kCheckedAudioSuffix), decodedSound(adts));
}

INSTANTIATE_TEST_SUITE_P(Recordings, BrannocWithTheReferenceHeader,
                         ::testing::Values(RecordingCase{"surround_5_1_mp4", Container::Mp4, 6},
                                           RecordingCase{"mono_3gp", Container::ThreeGp, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Brannoc, MissingInputOrArgumentsFail) {
    TempDir dir;
    EXPECT_NE(runBrannoc(dir.file("absent.raw")).exitCode, 0);
    EXPECT_FALSE(fileExists(dir.file(std::string("absent.raw") + kCheckedAudioSuffix)));
    EXPECT_NE(runProcess({programPath("Brannoc"), dir.file("absent.raw")}).exitCode, 0);
}

TEST(Brannoc, ReadOrWriteFailureExitsNonZeroAndLeavesNoFile) {
    TempDir dir;
    const auto frames = adtsFrames(readFile(makeAdts(dir, {48000, 2})));
    const std::string clean = engineAudio(frames, [](std::size_t) { return std::string(); });

    // Read failure: the input opens but cannot be read (a folder).
    const std::string folder = dir.file("folder.raw");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    EXPECT_NE(runBrannoc(folder).exitCode, 0);
    EXPECT_FALSE(fileExists(folder + kCheckedAudioSuffix));

    // Write failure: the output name leads to a device that takes no bytes.
    const std::string raw = dir.file("full.raw");
    ASSERT_TRUE(writeFile(raw, clean));
    ASSERT_EQ(symlink("/dev/full", (raw + kCheckedAudioSuffix).c_str()), 0);
    ProcessResult r = runBrannoc(raw);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("write error"), std::string::npos) << r.err;

    // Output cannot be created: a folder stands in its place.
    const std::string blocked = dir.file("blocked.raw");
    ASSERT_TRUE(writeFile(blocked, clean));
    ASSERT_EQ(mkdir((blocked + kCheckedAudioSuffix).c_str(), 0700), 0);
    EXPECT_NE(runBrannoc(blocked).exitCode, 0);
}

TEST(Brannoc, CutLastFrameIsDroppedNotPadded) {
    TempDir dir;
    const auto frames = adtsFrames(readFile(makeAdts(dir, {48000, 2})));
    ASSERT_GT(frames.size(), 20u);
    // The recording stopped in the middle of the last frame.
    std::string raw = engineAudio(frames, [](std::size_t) { return std::string(); });
    raw.resize(raw.size() - (frames.back().size() - 7) / 2);
    const std::string input = dir.file("cut.raw");
    ASSERT_TRUE(writeFile(input, raw));

    std::string whole;
    for (std::size_t i = 0; i + 1 < frames.size(); ++i) whole += frames[i];
    const std::string expected = dir.file("expected.aac");
    ASSERT_TRUE(writeFile(expected, whole));

    ProcessResult r = runBrannoc(input);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(input + kCheckedAudioSuffix), whole);
    EXPECT_EQ(decodedSound(input + kCheckedAudioSuffix), decodedSound(expected));
}

// Junk right behind the header that the decoder takes for two single-channel elements: a decoder
// that keeps the layout of the first frame it meets would then refuse every frame of the 5.1
// recording. The walk keeps all of them.
TEST(Brannoc, JunkBeforeTheFirstFrameDoesNotFixTheLayout) {
    TempDir dir;
    const std::string original = makeAdts(dir, {32000, 6});
    const auto frames = adtsFrames(readFile(original));
    ASSERT_GT(frames.size(), 20u);
    // Two silent single-channel elements (tags 0 and 1), then the end element.
    const std::string twoSingles("\x00\xC8\x00\x00\x16\x40\x00\x38", 8);
    std::string raw = engineAudio(frames, [](std::size_t) { return std::string(); });
    raw.insert(7, twoSingles);
    const std::string input = dir.file("surround.raw");
    ASSERT_TRUE(writeFile(input, raw));

    const ProcessResult r = runBrannoc(input);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(input + kCheckedAudioSuffix), readFile(original));
}

// A run of zeros in mono sound: some positions near its end left the decoder refusing every
// later frame, so everything behind the run was lost.
TEST(Brannoc, MonoSoundAfterARunOfZerosComesBack) {
    TempDir dir;
    const auto frames = adtsFrames(readFile(makeAdts(dir, {44100, 1})));
    ASSERT_GT(frames.size(), 40u);
    constexpr std::size_t kRunAfter = 12;
    const std::string input = dir.file("mono.raw");
    ASSERT_TRUE(writeFile(input, engineAudio(frames, [](std::size_t i) {
        return i == kRunAfter ? std::string(4000, '\0') : std::string();
    })));

    const ProcessResult r = runBrannoc(input);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The frame right behind the run opens with zero bytes, so the walk may take it a few bytes
    // early; every frame after that one comes back as it was.
    std::string behind;
    for (std::size_t i = kRunAfter + 2; i < frames.size(); ++i) behind += frames[i];
    const std::string output = readFile(input + kCheckedAudioSuffix);
    ASSERT_GE(output.size(), behind.size());
    EXPECT_EQ(output.substr(output.size() - behind.size()), behind);
}
