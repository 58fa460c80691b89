// Recordings as the ffmpeg tool's encoders write them at their usual and camera-like settings:
// a short healthy reference and a longer recording of the same settings, cut at 70% of its bytes
// (its index lost). The engine must give back every picture that lay whole before the cut, each
// once, in order, and nothing else, and the sound of every audio packet before the cut.
#include <gtest/gtest.h>

#include <QString>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "reference/analysis_entry.h"
#include "repair/video_repair.h"
#include "tests/repair/clip_packets.h"
#include "tests/repair/recovery_harness.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

namespace {

using namespace testsupport;
using namespace recovery;
using clippackets::MediaPacket;

constexpr double kCut = 0.7;

struct RecordingCase {
    const char* name;
    ClipSettings settings;  // of both clips; the lengths are set by the test
    // Zero bytes put between two samples in the middle of the media data (a hole the card left).
    std::int64_t holeBytes = 0;
};

ClipSettings settings(VideoCodec video, AudioCodec audio, Container container, std::vector<std::string> extra,
                      int channels = 2) {
    ClipSettings s = clipSettings(video, audio, container, std::move(extra));
    s.audioChannels = channels;
    return s;
}

// The reference lasts 1.6 s and the recording 4 s. x264 gets a key frame every 2 s, so that the
// reference holds one IDR picture and the recording several (x264 alternates idr_pic_id); x265
// one every second, so that the reference shows a CRA picture as well.
const std::vector<std::string> kX264Defaults = {"-preset", "medium", "-crf", "23", "-g", "50"};
const std::vector<std::string> kX265Defaults = {"-preset", "medium", "-x265-params", "log-level=error:keyint=25"};

const RecordingCase kCases[] = {
    {"x264_defaults_aac", settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, kX264Defaults)},
    {"x264_baseline_aac",
     settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, {"-profile:v", "baseline", "-g", "50"})},
    {"x264_aud_aac", settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, {"-x264-params", "aud=1:keyint=50"})},
    {"x264_high_pcm_mov_2997",
     settings(VideoCodec::H264, AudioCodec::PcmS16le, Container::Mov, {"-b:v", "6M", "-r", "30000/1001", "-g", "60"})},
    {"x264_aac_51", settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, kX264Defaults, 6)},
    {"x264_ima_adpcm_mov", settings(VideoCodec::H264, AudioCodec::ImaAdpcmWav, Container::Mov, {"-g", "25"})},
    {"x264_camera_gop_pyramid_aac",
     settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4,
              {"-g", "15", "-bf", "2", "-x264-params", "b-pyramid=normal:open-gop=1", "-b:v", "3M"})},
    {"x264_hole_of_zeros_aac", settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, kX264Defaults),
     40 << 20},
    {"x265_defaults_aac", settings(VideoCodec::H265, AudioCodec::Aac, Container::Mp4, kX265Defaults)},
    {"x265_noisy_aac",
     settings(VideoCodec::H265, AudioCodec::Aac, Container::Mp4,
              {"-b:v", "4M", "-x265-params", "log-level=error:keyint=25", "-vf", "noise=alls=40:allf=t"})},
    {"x265_pcm_mov", settings(VideoCodec::H265, AudioCodec::PcmS16le, Container::Mov, kX265Defaults)},
};

void PrintTo(const RecordingCase& c, std::ostream* os) { *os << c.name; }

ClipSettings lasting(ClipSettings s, double seconds) {
    s.seconds = seconds;
    return s;
}

// `damaged` with `zeros` zero bytes put in at `at`.
std::string withHole(const std::string& damaged, std::int64_t at, std::int64_t zeros, const std::string& target) {
    const std::string bytes = readFile(damaged);
    std::ofstream out(target, std::ios::binary);
    out.write(bytes.data(), at);
    const std::string block(1 << 20, '\0');
    for (std::int64_t left = zeros; left > 0; left -= std::int64_t(block.size()))
        out.write(block.data(), std::min<std::int64_t>(left, std::int64_t(block.size())));
    out.write(bytes.data() + at, std::streamsize(bytes.size()) - at);
    return target;
}

// What the recording held before the cut.
struct BeforeCut {
    int wholeVideoPackets = 0;
    std::vector<std::string> pictures;  // slices of the whole samples and whole slices of the cut one
    bool cutSampleHasWholePicture = false;
    std::string audio;         // the whole audio packets, in file order
    std::string partialAudio;  // the audio packet the cut went through, up to the cut
};

BeforeCut beforeCut(const std::string& recording, std::int64_t cut, bool hevc) {
    const std::string bytes = readFile(recording);
    BeforeCut b;
    for (const MediaPacket& p : clippackets::packetsOf(recording)) {
        const bool whole = p.pos + p.size <= cut;
        if (p.pos >= cut) break;
        const std::string data = bytes.substr(std::size_t(p.pos), std::size_t(std::min(p.size, cut - p.pos)));
        if (p.audio) {
            (whole ? b.audio : b.partialAudio) += data;
            continue;
        }
        if (whole) ++b.wholeVideoPackets;
        for (const Unit& unit : lengthPrefixedUnits(data)) {
            if (unit.end > data.size()) break;
            if (!isPicture(unit.nal, hevc)) continue;
            b.pictures.push_back(unit.nal);
            if (!whole) b.cutSampleHasWholePicture = true;
        }
    }
    return b;
}

class EncoderSettingsRecovery : public ::testing::TestWithParam<RecordingCase> {};

TEST_P(EncoderSettingsRecovery, EveryWholePictureAndAllTheSoundBeforeTheCut) {
    const RecordingCase& c = GetParam();
    const bool hevc = c.settings.video == VideoCodec::H265;
    const std::string format = hevc ? "hevc" : "h264";
    const ClipSettings recordingSettings = lasting(c.settings, 4);
    const std::string reference = clip(lasting(c.settings, 1.6));
    const std::string recording = clip(recordingSettings);
    std::string damaged = cutClip(recordingSettings, kCut);
    ASSERT_FALSE(reference.empty() || recording.empty() || damaged.empty());
    const std::int64_t cut = fileSize(damaged);
    TempDir dir;
    if (c.holeBytes > 0) {
        // Between two samples near the middle of what is left.
        std::int64_t at = 0;
        for (const MediaPacket& p : clippackets::packetsOf(recording))
            if (!p.audio && p.pos < cut / 2) at = p.pos;
        ASSERT_GT(at, 0);
        damaged = withHole(damaged, at, c.holeBytes, dir.file("holed.bin"));
    }

    const std::string description = dir.file("ref.xml");
    const ProcessResult analysed = runProcess({programPath("Ordwick"), reference, kAccessCode, description});
    ASSERT_EQ(analysed.exitCode, 0) << analysed.err;
    const std::string header = videoHeader(description);
    ASSERT_FALSE(header.empty());
    videoRepair engine;
    ASSERT_EQ(engine.startFixer(QString::fromStdString(damaged), QString::fromStdString(description),
                                QString::fromStdString(dir.path() + "/")),
              videoRepair::kFinished);

    const BeforeCut before = beforeCut(recording, cut, hevc);
    ASSERT_GT(before.wholeVideoPackets, 25);

    // Pictures: exactly those before the cut, in order; the stream ends with a picture.
    const std::string stream = readFile(engine.videoOutputPath.toStdString());
    ASSERT_EQ(stream.compare(0, header.size(), header), 0) << "the stream opens with the reference's header";
    const std::vector<std::string> units = annexBUnits(stream.substr(header.size()));
    std::vector<std::string> pictures;
    for (const std::string& nal : units)
        if (isPicture(nal, hevc)) pictures.push_back(nal);
    EXPECT_EQ(pictures.size(), before.pictures.size());
    EXPECT_TRUE(pictures == before.pictures) << "pictures differ from the recording's:\n  written  "
                                             << describe(pictures, hevc) << "\n  expected "
                                             << describe(before.pictures, hevc);
    ASSERT_FALSE(units.empty());
    EXPECT_TRUE(isPicture(units.back(), hevc)) << "the stream ends with a unit of type " << nalType(units.back(), hevc);

    // Frames: decoded without a complaint, the same as the whole packets decoded on their own.
    std::string errors;
    const std::vector<std::string> frames = frameSums(engine.videoOutputPath.toStdString(), format, &errors);
    EXPECT_EQ(errors, "");
    if (!before.cutSampleHasWholePicture) {
        copyPackets(recording, before.wholeVideoPackets, {"-bsf:v", hevc ? "hevc_mp4toannexb" : "h264_mp4toannexb",
                                                          "-f", format},
                    dir.file("expected.raw"));
        EXPECT_TRUE(frames == frameSums(dir.file("expected.raw"), format)) << "decoded frames differ";
    }

    // Sound: every whole audio packet, in order; the one the cut went through may follow as far
    // as it lies before the cut.
    ASSERT_FALSE(before.audio.empty());
    const std::string audioFile = readFile(engine.audioOutputPath.toStdString());
    const std::size_t audioHeader = engine.isAac ? 7 : c.settings.audio == AudioCodec::ImaAdpcmWav ? 60 : 44;
    ASSERT_GE(audioFile.size(), audioHeader);
    const std::string sound = audioFile.substr(audioHeader);
    EXPECT_EQ(sound.size() >= before.audio.size() ? before.audio.size() : sound.size(), before.audio.size())
        << "audio bytes recovered " << sound.size() << " of " << before.audio.size();
    EXPECT_TRUE(sound.compare(0, before.audio.size(), before.audio) == 0) << "the audio differs from the original's";
    EXPECT_TRUE(sound.size() <= before.audio.size() + before.partialAudio.size() &&
                before.partialAudio.compare(0, sound.size() - std::min(sound.size(), before.audio.size()),
                                            sound.substr(std::min(sound.size(), before.audio.size()))) == 0)
        << "bytes beyond the audio before the cut";
}

INSTANTIATE_TEST_SUITE_P(Encoders, EncoderSettingsRecovery, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RecordingCase>& info) { return std::string(info.param.name); });

}  // namespace
