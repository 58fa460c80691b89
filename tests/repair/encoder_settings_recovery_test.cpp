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

class EncoderSettingsRecovery : public ::testing::TestWithParam<RecordingCase> {};

TEST_P(EncoderSettingsRecovery, EveryWholePictureAndAllTheSoundBeforeTheCut) {
    const RecordingCase& c = GetParam();
    const bool hevc = c.settings.video == VideoCodec::H265;
    TempDir dir;
    const DamagedRecording clips = damagedRecording(c, dir);
    ASSERT_FALSE(clips.damaged.empty());
    const std::string& recording = clips.recording;
    const std::int64_t cut = clips.cut;
    videoRepair engine;
    ReferenceHeaders headers;
    ASSERT_NO_FATAL_FAILURE(repairWithReference(engine, clips.reference, clips.damaged, dir, headers));
    const std::string& header = headers.video;

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
    const std::vector<std::string> frames = frameSums(engine.videoOutputPath.toStdString(), annexBFormat(hevc), &errors);
    EXPECT_EQ(errors, "");
    if (!before.cutSampleHasWholePicture) {
        EXPECT_TRUE(frames == framesOfFirstPackets(recording, before.wholeVideoPackets, hevc, dir.file("expected.raw")))
            << "decoded frames differ";
    }

    // Sound: every whole audio packet, in order; the one the cut went through may follow as far
    // as it lies before the cut.
    ASSERT_FALSE(before.audio.empty());
    EXPECT_TRUE(soundBeforeTheCut(recoveredSound(engine, headers), before));
}

INSTANTIATE_TEST_SUITE_P(Encoders, EncoderSettingsRecovery, ::testing::ValuesIn(encoderRecordings()),
                         [](const ::testing::TestParamInfo<RecordingCase>& info) { return std::string(info.param.name); });

}  // namespace
