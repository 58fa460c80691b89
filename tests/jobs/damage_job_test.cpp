// Damaged recordings through the whole repair job, as the window starts it: the repaired file
// decodes without a complaint, shows every frame that lay whole before the cut and holds the
// sound before the cut; a file of random bytes alone never ends as a success.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/jobs/job_harness.h"
#include "tests/support/clip_packets.h"
#include "tests/support/damaged_recordings.h"
#include "tests/support/test_files.h"
#include "tests/support/test_frames.h"

using namespace jobtest;
using namespace testsupport;

namespace {

// How far the length of the muxed sound may stray from the recording's (PCM is encoded to AAC
// on the way): a few milliseconds, far less than an audio packet.
constexpr double kSoundSlack = 0.005;

// How long the whole audio packets before the cut play, how long the one the cut goes through,
// and the whole ones' checksums as stored.
struct SoundBeforeCut {
    double seconds = 0;
    double cutPacketSeconds = 0;
    std::vector<std::string> packets;
};
SoundBeforeCut soundBeforeCut(const std::string& recording, std::int64_t cut, bool aac) {
    SoundBeforeCut s;
    int whole = 0;
    for (const clippackets::MediaPacket& p : clippackets::packetsOf(recording)) {
        if (!p.audio || p.pos >= cut) continue;
        if (p.pos + p.size > cut) {
            s.cutPacketSeconds = p.duration;
            continue;
        }
        s.seconds += p.duration;
        ++whole;
    }
    if (aac) {
        s.packets = audioPacketHashes(recording);
        s.packets.resize(std::min<std::size_t>(s.packets.size(), std::size_t(whole)));
    }
    return s;
}

const std::vector<RecordingCase>& damageJobs() {
    static const std::vector<RecordingCase> cases = {
        takeWith(Take::X264Aac),
        takeWith(Take::X264PcmMov),
        takeWith(Take::X264Aac, randomBytes(300 * kKiB)),
        takeWith(Take::X264Aac, unitLikeBytes(64 * kKiB)),
        takeWith(Take::X264Aac, runOf(0xFF, 2 * kMiB)),
        takeWith(Take::X264AacMono, runOf(0x00, 2 * kMiB)),
        takeWith(Take::X264PcmMov, runOf(0xFF, 2 * kMiB)),
        takeWith(Take::X265Aac, randomBytes(300 * kKiB)),
        takeWith(Take::X265OpenGopHev1),
        takeWith(Take::X264FourSlices),
        takeWith(Take::X264StillScene),
    };
    return cases;
}

// The case's job, run to its end.
class DamageJobTest : public ::testing::TestWithParam<RecordingCase> {
protected:
    void runToTheEnd() {
        job_ = runRecordingJob(GetParam(), dir_);
        ASSERT_FALSE(job_.clips.damaged.empty());
        ASSERT_TRUE(job_.run.finished);
    }

    TempDir dir_;
    RecordingJob job_;
};
class DamageJob : public DamageJobTest {};
class DamageAloneJob : public DamageJobTest {};

}  // namespace

TEST_P(DamageJob, RepairedFileDecodesWithoutErrorsAndHoldsTheSound) {
    const RecordingCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(runToTheEnd());
    const RecordingJob& r = job_;
    EXPECT_EQ(r.run.endStatuses, std::vector<int>{unitFile::kStatusOk});
    const std::string repaired = r.job->outputPath.get();
    ASSERT_TRUE(fileExists(repaired));

    EXPECT_EQ(decodeErrors(repaired), "");
    EXPECT_EQ(decodedFrames(repaired).hashes.size(), wholePacketsBefore(r.clips.recording, r.clips.cut, false));
    const bool aac = c.settings.audio == AudioCodec::Aac;
    const SoundBeforeCut sound = soundBeforeCut(r.clips.recording, r.clips.cut, aac);
    // All the sound before the cut, and at most the part of the packet the cut went through.
    const double seconds = probeStream(repaired, "a").seconds;
    EXPECT_GE(seconds, sound.seconds - kSoundSlack);
    EXPECT_LE(seconds, sound.seconds + sound.cutPacketSeconds + kSoundSlack);
    // AAC reaches the repaired file as recorded, packet for packet.
    if (aac) {
        const std::vector<std::string> packets = audioPacketHashes(repaired);
        const auto parted = std::mismatch(packets.begin(), packets.end(), sound.packets.begin(), sound.packets.end());
        EXPECT_TRUE(packets == sound.packets) << "audio packets: " << packets.size() << " in the repaired file, "
                                              << sound.packets.size() << " before the cut; the first that differs is "
                                              << (parted.first - packets.begin()) + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Damage, DamageJob, ::testing::ValuesIn(damageJobs()),
                         [](const ::testing::TestParamInfo<RecordingCase>& info) { return info.param.name; });

// A file of random bytes holds nothing to repair: whatever the job leaves, it is no success.
TEST_P(DamageAloneJob, NeverEndsAsASuccess) {
    ASSERT_NO_FATAL_FAILURE(runToTheEnd());
    const RecordingJob& r = job_;
    ASSERT_FALSE(r.run.endStatuses.empty());
    EXPECT_EQ(std::count(r.run.endStatuses.begin(), r.run.endStatuses.end(), unitFile::kStatusOk), 0);
    EXPECT_FALSE(r.job->isRepaired);
}

INSTANTIATE_TEST_SUITE_P(Damage, DamageAloneJob,
                         ::testing::Values(damageAlone(Take::X264Aac, randomBytes(2 * kMiB))),
                         [](const ::testing::TestParamInfo<RecordingCase>& info) { return info.param.name; });
