// Recordings as the ffmpeg tool's encoders write them at their usual and camera-like settings:
// a short healthy reference and a longer recording of the same settings, cut at 70% of its bytes
// (its index lost). The engine must give back every picture that lay whole before the cut, each
// once, in order, and nothing else, and the sound of every audio packet before the cut.
#include <gtest/gtest.h>

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "reference/analysis_entry.h"
#include "repair/video_repair.h"
#include "tests/repair/recovery_harness.h"
#include "tests/support/clip_packets.h"
#include "tests/support/encoder_recordings.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_frames.h"
#include "tests/support/test_process.h"

namespace {

using namespace testsupport;
using namespace recovery;
using clippackets::MediaPacket;

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

// QuickTime IMA ADPCM comes back decoded: the sound before the cut is then the samples its whole
// packets decode to. Decoding the whole recording gives them, since a block goes on from the
// state the block before it left.
void asDecodedQtIma(BeforeCut& b, const std::string& recording, int channels) {
    const std::size_t packet = 34 * std::size_t(channels);
    const std::size_t samples = 64 * 2 * std::size_t(channels);
    const std::string pcm = decodedSound(recording);
    const std::size_t whole = b.audio.size() / packet * samples;
    const std::size_t most = (b.audio.size() + b.partialAudio.size()) / packet * samples;
    ASSERT_GE(pcm.size(), most);
    b.audio = pcm.substr(0, whole);
    b.partialAudio = pcm.substr(whole, most - whole);
}

class EncoderSettingsRecovery : public ::testing::TestWithParam<RecordingCase> {};

TEST_P(EncoderSettingsRecovery, EveryWholePictureAndAllTheSoundBeforeTheCut) {
    const RecordingCase& c = GetParam();
    const bool hevc = c.settings.video == VideoCodec::H265;
    const std::string format = hevc ? "hevc" : "h264";
    TempDir dir;
    const DamagedRecording clips = damagedRecording(c, dir);
    ASSERT_FALSE(clips.damaged.empty());
    const std::string& reference = clips.reference;
    const std::string& recording = clips.recording;
    const std::int64_t cut = clips.cut;

    const std::string description = dir.file("ref.xml");
    const ProcessResult analysed = runProcess({programPath("Ordwick"), reference, kAccessCode, description});
    ASSERT_EQ(analysed.exitCode, 0) << analysed.err;
    const std::string header = videoHeader(description);
    ASSERT_FALSE(header.empty());
    // The engine removes the description once it has read it.
    const std::string referenceAudioHeader = audioHeader(description);
    videoRepair engine;
    ASSERT_EQ(engine.startFixer(QString::fromStdString(clips.damaged), QString::fromStdString(description),
                                QString::fromStdString(dir.path() + "/")),
              videoRepair::kFinished);

    BeforeCut before = beforeCut(recording, cut, hevc);
    if (c.settings.audio == AudioCodec::ImaAdpcmQt)
        ASSERT_NO_FATAL_FAILURE(asDecodedQtIma(before, recording, c.settings.audioChannels));
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
    // AAC opens with the reference's audio header: an ADTS header, and a program config element
    // after it for sound whose channels only that element describes.
    const std::string& aacHeader = referenceAudioHeader;
    const std::size_t headerSize =
        engine.isAac ? aacHeader.size() : c.settings.audio == AudioCodec::ImaAdpcmWav ? 60 : 44;
    ASSERT_GE(audioFile.size(), headerSize);
    if (engine.isAac) {
        ASSERT_GE(aacHeader.size(), 7u);
        EXPECT_EQ(audioFile.substr(0, headerSize), aacHeader);
    }
    const std::string sound = audioFile.substr(headerSize);
    EXPECT_EQ(sound.size() >= before.audio.size() ? before.audio.size() : sound.size(), before.audio.size())
        << "audio bytes recovered " << sound.size() << " of " << before.audio.size();
    EXPECT_TRUE(sound.compare(0, before.audio.size(), before.audio) == 0) << "the audio differs from the original's";
    EXPECT_TRUE(sound.size() <= before.audio.size() + before.partialAudio.size() &&
                before.partialAudio.compare(0, sound.size() - std::min(sound.size(), before.audio.size()),
                                            sound.substr(std::min(sound.size(), before.audio.size()))) == 0)
        << "bytes beyond the audio before the cut";
}

INSTANTIATE_TEST_SUITE_P(Encoders, EncoderSettingsRecovery, ::testing::ValuesIn(encoderRecordings()),
                         [](const ::testing::TestParamInfo<RecordingCase>& info) { return std::string(info.param.name); });

}  // namespace
