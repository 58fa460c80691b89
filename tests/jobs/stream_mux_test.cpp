// The repaired file's mux: the engine's bare stream with its pictures' times and the audio's
// packets copied, interleaved, in one pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "jobs/stream_mux.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_frames.h"
#include "tests/support/test_process.h"

using namespace testsupport;

namespace {

enum class AudioInput { None, Adts, AacInMp4 };
// The start codes of the bare stream: as the bitstream filter writes them, or every one cut to
// three bytes (as some writers do), which the mux cannot convert by overwriting them.
enum class StartCodes { AsWritten, ThreeBytes };

struct MuxCase {
    const char* name;
    VideoCodec codec;
    AudioInput audio;
    double rateNum, rateDen;
    const char* probedRate;  // the video stream's frame rate as ffprobe gives it
    StartCodes startCodes = StartCodes::AsWritten;
    std::vector<std::string> videoArgs = {};  // after the clip's own, so they override it
};
void PrintTo(const MuxCase& c, std::ostream* os) { *os << c.name; }
class MuxOfTheRepairedStreams : public ::testing::TestWithParam<MuxCase> {};

std::string ffmpegCopy(const std::string& input, const std::vector<std::string>& options, const std::string& output) {
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", input};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(output);
    const ProcessResult r = runProcess(argv);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return output;
}

std::string probeField(const std::string& path, const std::string& streams, const std::string& entry) {
    const ProcessResult r = runProcess({"ffprobe", "-v", "error", "-select_streams", streams, "-show_entries",
                                        "stream=" + entry, "-of", "default=nw=1:nk=1", path});
    std::string out = r.out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

void cutStartCodesToThreeBytes(const std::string& path) {
    const std::string bytes = readFile(path);
    std::string cut;
    cut.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i + 4 <= bytes.size() && bytes.compare(i, 4, std::string("\0\0\0\1", 4)) == 0) continue;
        cut.push_back(bytes[i]);
    }
    ASSERT_LT(cut.size(), bytes.size());
    writeFile(path, cut);
}

// The largest distance in time between an audio packet and the video packet stored last
// before it, in file order: a file written stream after stream has one as long as the clip.
double largestInterleaveGap(const std::string& path) {
    const ProcessResult r = runProcess({"ffprobe", "-v", "error", "-show_entries", "packet=stream_index,pos,dts_time",
                                        "-of", "csv=p=0", path});
    struct Packet {
        long long pos;
        int stream;
        double dts;
    };
    std::vector<Packet> packets;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream row(line);
        std::string stream, dts, pos;
        std::getline(row, stream, ',');
        std::getline(row, dts, ',');
        std::getline(row, pos, ',');
        if (stream.empty() || dts.empty() || dts == "N/A" || pos.empty() || pos == "N/A") continue;
        packets.push_back({std::stoll(pos), std::stoi(stream), std::stod(dts)});
    }
    std::sort(packets.begin(), packets.end(), [](const Packet& a, const Packet& b) { return a.pos < b.pos; });
    double gap = 0, lastVideo = 0;
    for (const Packet& p : packets) {
        if (p.stream == 0)
            lastVideo = p.dts;
        else
            gap = std::max(gap, std::fabs(p.dts - lastVideo));
    }
    return gap;
}

}  // namespace

TEST_P(MuxOfTheRepairedStreams, KeepsEveryPictureInOrderAndTheAudioPacketsAsTheyAre) {
    const MuxCase& c = GetParam();
    ClipSettings settings = clipSettings(c.codec, AudioCodec::Aac, Container::Mp4, c.videoArgs);
    settings.seconds = 4;
    const std::string original = clip(settings);
    ASSERT_FALSE(original.empty());
    TempDir dir;
    const bool hevc = c.codec == VideoCodec::H265;
    MuxSources sources;
    sources.video = QString::fromStdString(ffmpegCopy(
        original, {"-map", "0:v", "-c", "copy", "-bsf:v", hevc ? "hevc_mp4toannexb" : "h264_mp4toannexb", "-f", hevc ? "hevc" : "h264"},
        dir.file("out-video.h264")));
    if (c.startCodes == StartCodes::ThreeBytes) cutStartCodesToThreeBytes(sources.video.toStdString());
    sources.frameRateNum = c.rateNum;
    sources.frameRateDen = c.rateDen;
    std::string audio;
    if (c.audio == AudioInput::Adts)
        audio = ffmpegCopy(original, {"-map", "0:a", "-c", "copy", "-f", "adts"}, dir.file("audio.aac"));
    else if (c.audio == AudioInput::AacInMp4)
        audio = ffmpegCopy(original, {"-map", "0:a", "-c", "copy", "-f", "mp4"}, dir.file("audio.m4a"));
    sources.audio = QString::fromStdString(audio);

    const std::string fixed = dir.file("clip_fix.mp4");
    std::int64_t reported = 0;
    const MuxResult result = muxStreams(sources, QString::fromStdString(fixed), "mp4", [&](const MuxProgress& p) {
        EXPECT_EQ(p.frames, reported + 1);
        reported = p.frames;
        return true;
    });
    ASSERT_TRUE(result.outcome) << result.outcome.reason();
    EXPECT_TRUE(result.audio) << result.audio.reason();
    EXPECT_EQ(result.videoFrames, 100);
    EXPECT_EQ(reported, 100);

    EXPECT_EQ(decodeErrors(fixed), "");
    const DecodedFrames want = decodedFrames(original);
    const DecodedFrames got = decodedFrames(fixed);
    ASSERT_EQ(want.hashes.size(), 100u);
    EXPECT_EQ(got.hashes, want.hashes);
    for (std::size_t i = 1; i < got.pts.size(); ++i) EXPECT_LT(got.pts[i - 1], got.pts[i]) << "frame " << i;
    EXPECT_EQ(probeField(fixed, "v:0", "avg_frame_rate"), c.probedRate);
    if (c.audio == AudioInput::None) {
        EXPECT_EQ(probeField(fixed, "a", "codec_name"), "");
        return;
    }
    const std::vector<std::string> packets = audioPacketHashes(original);
    EXPECT_GT(packets.size(), 100u);
    EXPECT_EQ(result.audioPackets, static_cast<std::int64_t>(packets.size()));
    EXPECT_EQ(audioPacketHashes(fixed), packets);
    EXPECT_LT(largestInterleaveGap(fixed), 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, MuxOfTheRepairedStreams,
    ::testing::Values(MuxCase{"h264_with_adts", VideoCodec::H264, AudioInput::Adts, 25, 1, "25/1"},
                      MuxCase{"h265_with_adts", VideoCodec::H265, AudioInput::Adts, 25, 1, "25/1"},
                      // As the tool leaves encoded PCM: AAC in an MP4, with the encoder's priming.
                      MuxCase{"h264_with_aac_in_mp4", VideoCodec::H264, AudioInput::AacInMp4, 25, 1, "25/1"},
                      // The reference's rate as numerator and denominator stays exact.
                      MuxCase{"h264_alone_at_29_97", VideoCodec::H264, AudioInput::None, 30000, 1001, "30000/1001"},
                      MuxCase{"h264_three_byte_start_codes", VideoCodec::H264, AudioInput::Adts, 25, 1, "25/1",
                              StartCodes::ThreeBytes},
                      MuxCase{"h265_three_byte_start_codes", VideoCodec::H265, AudioInput::None, 25, 1, "25/1",
                              StartCodes::ThreeBytes},
                      // Records carrying a picture format other than 4:2:0 at 8 bits.
                      MuxCase{"h264_high444_10bit", VideoCodec::H264, AudioInput::Adts, 25, 1, "25/1",
                              StartCodes::AsWritten, {"-profile:v", "high444", "-pix_fmt", "yuv444p10le"}},
                      MuxCase{"h265_422_10bit", VideoCodec::H265, AudioInput::None, 25, 1, "25/1", StartCodes::AsWritten,
                              {"-pix_fmt", "yuv422p10le"}}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {
// Sources of a 2 s H.264 clip without sound, as the engine writes its stream: Annex B, 25 fps.
bool silentH264Stream(const TempDir& dir, MuxSources& sources) {
    const std::string original = clip(clipSettings(VideoCodec::H264, AudioCodec::None, Container::Mp4));
    if (original.empty()) return false;
    sources.video = QString::fromStdString(
        ffmpegCopy(original, {"-c", "copy", "-bsf:v", "h264_mp4toannexb", "-f", "h264"}, dir.file("v.h264")));
    return !sources.video.isEmpty();
}
}  // namespace

TEST(MuxOfTheRepairedStreams, AudioThatCannotBeReadLeavesThePicturesAlone) {
    TempDir dir;
    MuxSources sources;
    ASSERT_TRUE(silentH264Stream(dir, sources));
    sources.frameRateNum = 25;
    for (const std::string& bytes : {std::string(), std::string(5000, 'x')}) {
        const std::string audio = dir.file("audio.aac");
        writeFile(audio, bytes);
        sources.audio = QString::fromStdString(audio);
        const std::string fixed = dir.file("fix.mp4");
        const MuxResult result = muxStreams(sources, QString::fromStdString(fixed), "mp4");
        ASSERT_TRUE(result.outcome) << result.outcome.reason();
        EXPECT_FALSE(result.audio);
        EXPECT_NE(result.audio.reason(), "");
        EXPECT_EQ(decodeErrors(fixed), "");
        EXPECT_EQ(probeField(fixed, "a", "codec_name"), "");
        EXPECT_EQ(decodedFrames(fixed).hashes.size(), 50u);
    }
}

TEST(MuxOfTheRepairedStreams, StopsWhenTheObserverSaysSo) {
    TempDir dir;
    MuxSources sources;
    ASSERT_TRUE(silentH264Stream(dir, sources));
    sources.frameRateNum = 25;
    int calls = 0;
    const MuxResult result = muxStreams(sources, QString::fromStdString(dir.file("fix.mp4")), "mp4",
                                        [&](const MuxProgress&) { return ++calls < 10; });
    EXPECT_FALSE(result.outcome);
    EXPECT_EQ(calls, 10);
    EXPECT_NE(result.outcome.reason(), "");
}
