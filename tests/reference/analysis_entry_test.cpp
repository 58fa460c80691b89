#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "media/access_codes.h"
#include "reference/analysis_entry.h"
#include "tests/reference/ffprobe_streams.h"
#include "tests/reference/stream_copies.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/special_files.h"
#include "tests/support/test_process.h"

namespace pt = boost::property_tree;
using namespace testsupport;

namespace {

ProcessResult ordwick(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {programPath("Ordwick")};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv);
}

pt::ptree readDocument(const std::string& path) {
    pt::ptree tree;
    pt::read_xml(path, tree);
    return tree.get_child("videopreset");
}

// The first line in which two documents differ, with its number; empty when they are the same.
std::string firstDifference(const std::string& a, const std::string& b) {
    std::istringstream left(a);
    std::istringstream right(b);
    std::string l;
    std::string r;
    for (int line = 1;; ++line) {
        const bool more = static_cast<bool>(std::getline(left, l));
        if (more != static_cast<bool>(std::getline(right, r)) || (more && l != r))
            return "line " + std::to_string(line) + ": \"" + (more ? l : "") + "\" against \"" + r + "\"";
        if (!more) return "";
    }
}

// "30000/1001" -> {"30000", "1001"}
std::pair<std::string, std::string> splitRate(const std::string& rate) {
    const std::size_t slash = rate.find('/');
    if (slash == std::string::npos) return {rate, "1"};
    return {rate.substr(0, slash), rate.substr(slash + 1)};
}

}  // namespace

TEST(AnalysisEntry, AccessCode) {
    const struct {
        const char* code;
        bool valid;
    } cases[] = {
        {"--wrobna63170", true}, {"--WROBNA63170", false}, {"--wrobna631700", false},
        {"--wrobna6317", false}, {"", false},              {"wrobna63170", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isAccessCodeValid(c.code), c.valid) << c.code;
}

TEST(AnalysisEntry, RefusedRunsPrintAndWriteNothing) {
    const std::string video = clip(ClipSettings{});
    ASSERT_FALSE(video.empty());
    TempDir dir;
    const std::string out = dir.file("ref.xml");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {video},
        {video, kReferenceAccessCode},
        {video, "--WROBNA63170", out},
        {video, "--wrobna63170x", out},
        {video, "--wrobna6317", out},
    };
    for (const auto& args : cases) {
        const ProcessResult r = ordwick(args);
        EXPECT_EQ(r.exitCode, kExitBadArguments) << args.size();
        EXPECT_EQ(r.out, "") << args.size();
        EXPECT_EQ(r.err, "") << args.size();
        EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << args.size();
    }
}

TEST(AnalysisEntry, MissingInputStillGivesADocument) {
    TempDir dir;
    const std::string out = dir.file("ref.xml");
    const ProcessResult r = ordwick({dir.file("missing.mp4"), kReferenceAccessCode, out});
    EXPECT_EQ(r.exitCode, kExitWritten);
    EXPECT_EQ(r.out, "avformat_open_input failed\nERROR: cannot open input file " + dir.file("missing.mp4") + "\n");
    ASSERT_TRUE(fileExists(out));
    const pt::ptree doc = readDocument(out);
    EXPECT_EQ(doc.get<std::string>("name"), "Unknown");
    EXPECT_EQ(doc.get<std::string>("preset"), "");
    EXPECT_EQ(doc.get<std::string>("videocodec"), "");
    EXPECT_EQ(doc.get<std::string>("videoWidth"), "0");
    EXPECT_EQ(doc.get<std::string>("videoFps_num"), "0");
    EXPECT_EQ(doc.get<std::string>("nbtracks"), "0");
    EXPECT_TRUE(doc.get_child("tracks").empty());
    EXPECT_TRUE(doc.get_child("audio").empty());
    EXPECT_EQ(doc.get_child("packets").count("packet"), std::size_t(kNalTypeCount));
}

// A FIFO, a device or a folder named as the reference is no video: the run reads nothing from
// it, never waits on it, and writes the document of an unreadable input.
TEST(AnalysisEntry, InputThatIsNotARegularFileIsRefusedWithoutWaiting) {
    const struct {
        const char* name;
        std::function<std::unique_ptr<FifoWatch>(const std::string& path)> make;
    } cases[] = {
        {"FIFO", [](const std::string& path) { return std::make_unique<FifoWatch>(path, 10); }},
        {"device",
         [](const std::string& path) {
             EXPECT_EQ(symlink("/dev/null", path.c_str()), 0);
             return std::unique_ptr<FifoWatch>();
         }},
        {"folder",
         [](const std::string& path) {
             EXPECT_EQ(mkdir(path.c_str(), 0700), 0);
             return std::unique_ptr<FifoWatch>();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string input = dir.file("reference.mp4");
        const std::unique_ptr<FifoWatch> watch = c.make(input);
        const std::string out = dir.file("ref.xml");
        const ProcessResult r = ordwick({input, kReferenceAccessCode, out});
        EXPECT_EQ(r.exitCode, kExitWritten);
        EXPECT_EQ(r.out, "avformat_open_input failed\nERROR: cannot open input file " + input + "\n");
        if (watch) {
            EXPECT_FALSE(watch->released()) << "Ordwick waited on the FIFO";
        }
        ASSERT_TRUE(fileExists(out));
        EXPECT_TRUE(readDocument(out).get_child("tracks").empty());
    }
}

// The library's own complaints about a damaged reference stay out of the program's output:
// only the analyses' lines appear.
TEST(AnalysisEntry, DamagedReferencePrintsOnlyTheAnalysesLines) {
    const ClipSettings settings;
    const std::string cut = cutClip(settings, 0.5);
    ASSERT_FALSE(cut.empty());
    TempDir dir;
    const ProcessResult r = ordwick({cut, kReferenceAccessCode, dir.file("ref.xml")});
    EXPECT_EQ(r.exitCode, kExitWritten);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "avformat_open_input failed\n");
}

TEST(AnalysisEntry, UnwritableOutputExitsWithOne) {
    const std::string video = clip(ClipSettings{});
    ASSERT_FALSE(video.empty());
    TempDir dir;
    const ProcessResult r = ordwick({video, kReferenceAccessCode, dir.file("missing/ref.xml")});
    EXPECT_EQ(r.exitCode, kExitNotWritten);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(AnalysisEntry, FourthArgumentChangesNothing) {
    const std::string video = clip(ClipSettings{});
    ASSERT_FALSE(video.empty());
    TempDir dir;
    ASSERT_EQ(ordwick({video, kReferenceAccessCode, dir.file("a.xml")}).exitCode, kExitWritten);
    ASSERT_EQ(ordwick({video, kReferenceAccessCode, dir.file("b.xml"), "extra"}).exitCode, kExitWritten);
    EXPECT_EQ(readFile(dir.file("a.xml")), readFile(dir.file("b.xml")));
}

TEST(AnalysisEntry, InProcessRunKeepsItsState) {
    const std::string video = clip(ClipSettings{});
    ASSERT_FALSE(video.empty());
    TempDir dir;
    const std::string out = dir.file("ref.xml");
    const char* argv[] = {"Ordwick", video.c_str(), kReferenceAccessCode, out.c_str()};
    ReferenceRunState state;
    EXPECT_EQ(runReferenceAnalysis(4, argv, state), kExitWritten);
    EXPECT_EQ(state.media.videoCodecName, "h264");
    EXPECT_EQ(state.cameraPresetName, "mp4-ext");
    EXPECT_EQ(readDocument(out).get<std::string>("preset"), state.cameraPresetName);
}

// Tracks past the ones an analysis keeps change nothing Ordwick writes but the movie's track
// count, though the last ones are of another stream (H.265 at 30 frames per second), which the
// probe would take as the video's if it looked at them.
TEST(AnalysisEntry, TracksPastTheKeptOnesChangeOnlyTheTrackCount) {
    ClipSettings first;
    first.seconds = 1;
    first.width = 64;
    first.height = 48;
    ClipSettings other = first;
    other.video = VideoCodec::H265;
    other.audio = AudioCodec::None;
    other.fps = 30;
    const std::string firstClip = clip(first);
    const std::string otherClip = clip(other);
    ASSERT_FALSE(firstClip.empty());
    ASSERT_FALSE(otherClip.empty());
    const std::size_t kept = AnalysisResult::kMaxTracks;
    const std::vector<StreamCopies> keptTracks = {{firstClip, "v", 1}, {firstClip, "a", 1}, {firstClip, "v", kept - 2}};
    std::vector<StreamCopies> allTracks = keptTracks;
    allTracks.push_back({otherClip, "v", 44});

    TempDir dir;
    ASSERT_TRUE(copyStreams(keptTracks, "mp4", dir.file("kept.mp4")));
    ASSERT_TRUE(copyStreams(allTracks, "mp4", dir.file("all.mp4")));
    for (const char* name : {"kept", "all"}) {
        const ProcessResult r = ordwick({dir.file(std::string(name) + ".mp4"), kReferenceAccessCode, dir.file(std::string(name) + ".xml")});
        ASSERT_EQ(r.exitCode, kExitWritten) << name << r.out << r.err;
    }
    const pt::ptree doc = readDocument(dir.file("kept.xml"));
    EXPECT_EQ(doc.get<std::string>("videocodec"), "h264");
    EXPECT_EQ(doc.get<std::string>("videoFps_num"), "25");
    EXPECT_EQ(doc.get<std::string>("nbtracks"), std::to_string(kept));
    std::string all = readFile(dir.file("all.xml"));
    const std::string count = "<nbtracks>" + std::to_string(kept + 44) + "</nbtracks>";
    ASSERT_NE(all.find(count), std::string::npos);
    all.replace(all.find(count), count.size(), "<nbtracks>" + std::to_string(kept) + "</nbtracks>");
    EXPECT_EQ(firstDifference(all, readFile(dir.file("kept.xml"))), "");
}

// The document agrees with what ffprobe reports for the same clip.
struct ClipCase {
    const char* name;
    ClipSettings settings;
    const char* preset;
};

void PrintTo(const ClipCase& c, std::ostream* os) { *os << c.name; }

ClipCase clipCase(const char* name, VideoCodec video, AudioCodec audio, Container container, const char* preset,
                  std::vector<std::string> extraArgs = {}, int audioRate = 48000, int audioChannels = 2) {
    ClipSettings settings;
    settings.video = video;
    settings.audio = audio;
    settings.container = container;
    settings.extraArgs = std::move(extraArgs);
    settings.audioRate = audioRate;
    settings.audioChannels = audioChannels;
    return {name, settings, preset};
}

class GeneratedClipDocument : public testing::TestWithParam<ClipCase> {};

TEST_P(GeneratedClipDocument, AgreesWithFfprobe) {
    const ClipCase& c = GetParam();
    const std::string video = clip(c.settings);
    ASSERT_FALSE(video.empty());
    const std::vector<StreamFields> streams = ffprobeStreams(video);
    const StreamFields v = lastStreamOf(streams, "video");
    const StreamFields a = lastStreamOf(streams, "audio");
    ASSERT_FALSE(v.empty());
    ASSERT_FALSE(a.empty());

    TempDir dir;
    const std::string out = dir.file("ref.xml");
    const ProcessResult r = ordwick({video, kReferenceAccessCode, out});
    ASSERT_EQ(r.exitCode, kExitWritten) << r.out << r.err;
    EXPECT_EQ(r.out, "");
    const pt::ptree doc = readDocument(out);

    EXPECT_EQ(doc.get<std::string>("videocodec"), v.at("codec_name"));
    const auto [num, den] = splitRate(v.at("r_frame_rate"));
    EXPECT_EQ(doc.get<std::string>("videoFps_num"), num);
    EXPECT_EQ(doc.get<std::string>("videoFps_den"), den);

    // Picture size, parameter sets and the audio run come from the structure analysis's tracks.
    ASSERT_EQ(doc.get_child("tracks").count("track"), streams.size());
    EXPECT_EQ(doc.get<std::string>("nbtracks"), std::to_string(streams.size()));
    EXPECT_EQ(doc.get<std::string>("videoWidth"), v.at("width"));
    EXPECT_EQ(doc.get<std::string>("videoHeight"), v.at("height"));
    EXPECT_EQ(doc.get<std::string>("videoheader").rfind("00000001", 0), 0u);
    const pt::ptree& audio = doc.get_child("audio");
    EXPECT_EQ(audio.get<std::string>("audiocodec"), a.at("codec_name"));
    EXPECT_EQ(audio.get<std::string>("SampleRate"), a.at("sample_rate"));
    EXPECT_EQ(audio.get<std::string>("channel"), a.at("channels"));
    const std::string& audioCodec = a.at("codec_name");
    EXPECT_EQ(audio.get<std::string>("audio_big_endian"), audioCodec == "pcm_s16be" ? "true" : "false");
    EXPECT_EQ(audio.get<std::string>("audio_little_endian"), audioCodec == "pcm_s16le" ? "true" : "false");
    // Only an 'mp4a' track carries its ADTS header.
    EXPECT_EQ(audio.count("audioheader"), audioCodec == "aac" ? 1u : 0u);
    EXPECT_EQ(doc.get<std::string>("preset"), c.preset);
    EXPECT_EQ(doc.get_child("packets").count("packet"), std::size_t(kNalTypeCount));
}

INSTANTIATE_TEST_SUITE_P(
    Clips, GeneratedClipDocument,
    // ffmpeg lists the brands "isomiso2avc1mp41" only with an H.264 track; an H.265 MP4 has
    // "isomiso2mp41", and a MOV only "qt  ", which no signature names.
    testing::Values(
        clipCase("h264_aac_mp4", VideoCodec::H264, AudioCodec::Aac, Container::Mp4, "mp4-ext"),
        clipCase("h265_aac_mp4", VideoCodec::H265, AudioCodec::Aac, Container::Mp4, ""),
        clipCase("h264_twos_mov", VideoCodec::H264, AudioCodec::PcmS16be, Container::Mov, ""),
        clipCase("h264_sowt_mov", VideoCodec::H264, AudioCodec::PcmS16le, Container::Mov, ""),
        clipCase("h264_aac_mp4_ntsc_mono", VideoCodec::H264, AudioCodec::Aac, Container::Mp4, "mp4-ext",
                 {"-r", "30000/1001"}, 44100, 1)),
    [](const testing::TestParamInfo<ClipCase>& info) { return std::string(info.param.name); });
