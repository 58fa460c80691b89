// End to end: a clip made by the ffmpeg tool is cut at 70% of its bytes (its index at the end is
// lost, as when a recording is cut off), Ordwick analyses a healthy clip of the same settings,
// and the engine repairs the cut file. The recovered audio is compared with the original's
// audio packets that lay wholly before the cut.
#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "media/access_codes.h"
#include "media/work_file_names.h"
#include "mp4/byte_order.h"
#include "tests/support/clip_packets.h"
#include "repair/video_repair.h"
#include "repair/wav_header.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_frames.h"
#include "tests/support/test_process.h"

using namespace testsupport;
using clippackets::MediaPacket;
using clippackets::packetsOf;

namespace {

constexpr double kCut = 0.7;

// Frames in a raw H.264 stream, counted by the ffmpeg tool's parser.
int framesIn(const std::string& h264) {
    const ProcessResult r = runProcess({"ffprobe", "-v", "error", "-f", "h264", "-count_packets", "-select_streams",
                                        "v:0", "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", h264});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out.empty() ? 0 : std::stoi(r.out);
}

// What lay before the cut: packets wholly before it, and the bytes of an audio packet it went through.
struct BeforeCut {
    int videoFrames = 0;
    double audioSeconds = 0;
    std::int64_t audioBytes = 0;        // of the whole audio packets
    std::string audio;                  // their bytes, in file order
    std::string partialAudio;           // the audio packet cut through, up to the cut
};

BeforeCut beforeCut(const std::string& original, std::int64_t cut) {
    const std::string bytes = readFile(original);
    const std::vector<MediaPacket> packets = packetsOf(original);
    BeforeCut b;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const MediaPacket& p = packets[i];
        if (p.pos + p.size > cut) {
            if (p.audio && p.pos < cut) b.partialAudio = bytes.substr(std::size_t(p.pos), std::size_t(cut - p.pos));
            continue;
        }
        if (!p.audio) {
            ++b.videoFrames;
            continue;
        }
        const std::string data = bytes.substr(std::size_t(p.pos), std::size_t(p.size));
        b.audioSeconds += p.duration;
        b.audioBytes += p.size;
        b.audio += data;
    }
    return b;
}

enum class AudioCheck { PcmWav, AdpcmWav, DecodedQtIma, AacRaw };

struct EndToEndCase {
    const char* name;
    ClipSettings settings;
    AudioCheck check;
};

ClipSettings settingsOf(AudioCodec audio, Container container, std::vector<std::string> extra = {}) {
    ClipSettings s = clipSettings(VideoCodec::H264, audio, container, std::move(extra));
    s.seconds = 3;
    return s;
}

const std::vector<std::string> kOneSecondChunks = {"-chunk_duration", "1000000"};

const EndToEndCase kCases[] = {
    {"SowtPerFrame", settingsOf(AudioCodec::PcmS16le, Container::Mov), AudioCheck::PcmWav},
    {"SowtChunked", settingsOf(AudioCodec::PcmS16le, Container::Mov, kOneSecondChunks), AudioCheck::PcmWav},
    {"TwosPerFrame", settingsOf(AudioCodec::PcmS16be, Container::Mov), AudioCheck::PcmWav},
    {"TwosChunked", settingsOf(AudioCodec::PcmS16be, Container::Mov, kOneSecondChunks), AudioCheck::PcmWav},
    {"ImaAdpcmWavTag", settingsOf(AudioCodec::ImaAdpcmWav, Container::Mov), AudioCheck::AdpcmWav},
    {"ImaAdpcmQtTag", settingsOf(AudioCodec::ImaAdpcmQt, Container::Mov), AudioCheck::DecodedQtIma},
    {"ImaAdpcmQtChunked", settingsOf(AudioCodec::ImaAdpcmQt, Container::Mov, kOneSecondChunks),
     AudioCheck::DecodedQtIma},
    {"AacPerFrame", settingsOf(AudioCodec::Aac, Container::Mp4), AudioCheck::AacRaw},
    {"AacChunked", settingsOf(AudioCodec::Aac, Container::Mp4, kOneSecondChunks), AudioCheck::AacRaw},
};

void PrintTo(const EndToEndCase& c, std::ostream* os) { *os << c.name; }

// Ordwick on a healthy clip of `damagedSettings`'s settings (two seconds long), then the engine on
// the clip cut at 70%. `description` receives the reference description's text.
void repairCutClip(const ClipSettings& damagedSettings, const TempDir& dir, videoRepair& engine, std::string& damaged,
                   std::string& original, std::string* description = nullptr) {
    ClipSettings referenceSettings = damagedSettings;
    referenceSettings.seconds = 2;
    const std::string reference = clip(referenceSettings);
    damaged = cutClip(damagedSettings, kCut);
    original = clip(damagedSettings);
    ASSERT_FALSE(reference.empty() || damaged.empty() || original.empty());
    const std::string xml = dir.file("ref.xml");
    const ProcessResult analysed = runProcess({programPath("Ordwick"), reference, kReferenceAccessCode, xml});
    ASSERT_EQ(analysed.exitCode, 0) << analysed.out;
    ASSERT_TRUE(fileExists(xml));
    if (description) *description = readFile(xml);
    ASSERT_EQ(engine.startFixer(QString::fromStdString(damaged), QString::fromStdString(xml),
                                QString::fromStdString(dir.path() + "/")),
              videoRepair::kFinished);
}

class AudioEndToEndTest : public ::testing::TestWithParam<EndToEndCase> {
protected:
    void repair(const ClipSettings& damagedSettings) { repairCutClip(damagedSettings, dir_, engine_, damaged_, original_); }

    void report(const BeforeCut& before, int fps, int framesRecovered, double audioRecovered) {
        const double videoBefore = double(before.videoFrames) / fps;
        const double videoRecovered = double(framesRecovered) / fps;
        char line[200];
        std::snprintf(line, sizeof line, "video %.2f s of %.2f s, audio %.2f s of %.2f s before the cut",
                      videoRecovered, videoBefore, audioRecovered, before.audioSeconds);
        std::printf("[ recovered] %s: %s\n", GetParam().name, line);
        RecordProperty("recovered", line);
    }

    TempDir dir_;
    videoRepair engine_;
    std::string damaged_;
    std::string original_;
};

// The WAV header's data size, read back from the file.
std::uint32_t wavDataSize(const std::string& wav, std::size_t headerSize) {
    if (wav.size() < headerSize) return 0;
    return mp4::le32(wav.data() + headerSize - 4);
}

}  // namespace

TEST_P(AudioEndToEndTest, RecoversTheAudioBeforeTheCut) {
    const EndToEndCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(repair(c.settings));
    const std::int64_t cut = fileSize(damaged_);
    const BeforeCut before = beforeCut(original_, cut);
    ASSERT_GT(before.videoFrames, 0);
    ASSERT_GT(before.audioBytes, 0);

    const std::string videoPath = dir_.file(kVideoStreamFileName);
    const int frames = framesIn(videoPath);
    // Every frame before the cut, and at most the one the cut went through.
    EXPECT_GE(frames, before.videoFrames);
    EXPECT_LE(frames, before.videoFrames + 1);

    double audioRecovered = 0;
    if (c.check == AudioCheck::AacRaw) {
        EXPECT_TRUE(engine_.isAac);
        const std::string raw = readFile(dir_.file(kRawAudioFileName));
        ASSERT_GE(raw.size(), 7u);
        const std::string recovered = raw.substr(7);
        // The encoder's name frames (the first, then one every 256) are sound like the rest.
        const std::string& expected = before.audio;
        // The run the cut went through is handed over as it stands, after the whole packets.
        EXPECT_TRUE(recovered == expected || recovered == expected + before.partialAudio)
            << recovered.size() << " bytes recovered, " << expected.size() << " expected";
        if (recovered.size() >= expected.size()) audioRecovered = before.audioSeconds;
    } else {
        EXPECT_FALSE(engine_.isAac);
        const std::string wavPath = dir_.file(kWavAudioFileName);
        const std::string wav = readFile(wavPath);
        const std::size_t header = c.check == AudioCheck::AdpcmWav ? 60 : 44;
        ASSERT_GT(wav.size(), header);
        EXPECT_EQ(wavDataSize(wav, header), wav.size() - header) << "the header is completed";

        const std::string played = decodedSound(wavPath);
        const std::string original = decodedSound(original_);
        ASSERT_FALSE(played.empty());
        // Samples: stereo 16-bit once decoded, so four bytes a sample frame.
        const double rate = c.settings.audioRate;
        audioRecovered = double(played.size()) / (4 * rate);
        if (c.check == AudioCheck::PcmWav) {
            // Exactly the original's samples over the chunks before the cut.
            EXPECT_GE(std::int64_t(played.size()), before.audioBytes);
            EXPECT_LE(played.size(), before.audio.size() + before.partialAudio.size());
            EXPECT_TRUE(played == original.substr(0, played.size()));
        } else if (c.check == AudioCheck::DecodedQtIma) {
            // Decoded: every whole packet before the cut, and the whole ones of a packet run the
            // cut went through, give exactly the original's samples.
            const std::size_t packet = 34 * 2;
            const std::size_t samples = 64 * 4;
            EXPECT_EQ(wav.substr(header), played);
            EXPECT_EQ(played.size() % samples, 0u);
            EXPECT_GE(played.size(), before.audio.size() / packet * samples);
            EXPECT_LE(played.size(), (before.audio.size() + before.partialAudio.size()) / packet * samples);
            EXPECT_TRUE(played == original.substr(0, played.size()));
        } else {
            // IMA ADPCM: the blocks before the cut decode to the original's samples.
            const std::string data = wav.substr(header);
            EXPECT_TRUE(data.substr(0, std::size_t(before.audioBytes)) == before.audio);
            EXPECT_TRUE(played.substr(0, std::min(played.size(), original.size())) ==
                        original.substr(0, std::min(played.size(), original.size())));
            EXPECT_GE(audioRecovered + 0.05, before.audioSeconds);
        }
    }
    report(before, c.settings.fps, frames, audioRecovered);
}

INSTANTIATE_TEST_SUITE_P(GeneratedClips, AudioEndToEndTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<EndToEndCase>& info) { return std::string(info.param.name); });

// The first audio track is AAC and a PCM track follows: the output opens with the AAC header,
// and the WAV completion after the scan must not overwrite it.
TEST(AudioEndToEnd, AacFirstTrackKeepsItsHeaderBeforeAPcmTrack) {
    ClipSettings settings;
    settings.container = Container::Mov;
    settings.seconds = 3;
    settings.extraArgs = {"-map", "0:v", "-map", "1:a", "-map", "1:a", "-c:a:1", "pcm_s16le"};
    TempDir dir;
    videoRepair engine;
    std::string damaged, original, description;
    ASSERT_NO_FATAL_FAILURE(repairCutClip(settings, dir, engine, damaged, original, &description));
    const std::size_t open = description.find("<audioheader>");
    ASSERT_NE(open, std::string::npos);
    const std::size_t start = open + std::string("<audioheader>").size();
    const std::string hex = description.substr(start, description.find('<', start) - start);
    ASSERT_EQ(hex.size(), 14u) << hex;
    std::string header;
    for (std::size_t i = 0; i < hex.size(); i += 2) header.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
    const std::string out = readFile(engine.audioOutputPath.toStdString());
    ASSERT_GT(out.size(), kPcmWavHeaderSize);
    EXPECT_EQ(out.substr(0, 7), header);
}
