// Recordings damaged the way memory cards and cameras damage them: another file's bytes left in
// the card's free space, bytes that look like units, erased flash and holes of zeros between two
// frames; a file of random bytes alone; a picture of several slices that the cut goes through; a
// still scene; an open GOP whose second key frame the reference never showed. The engine must
// still give back every picture that lay whole before the cut, each once, in order, and nothing
// else, and the sound of every audio packet before the cut.
#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "repair/video_repair.h"
#include "tests/repair/recovery_harness.h"
#include "tests/support/damaged_recordings.h"
#include "tests/support/encoder_recordings.h"
#include "tests/support/test_files.h"

namespace {

using namespace testsupport;
using namespace recovery;

bool isDelimiter(const std::string& nal, bool hevc) { return nalType(nal, hevc) == (hevc ? 35 : 9); }

// Whether `written` is the recording's units with only non-picture units left out: each unit
// one of the recording's, in its order, and no picture passed over. A unit of junk, a
// delimiter, SEI or parameter set with no picture behind it, a lost or repeated picture all
// break it. `departs` receives the index of the first written unit that does not fit.
bool isOrderedSelection(const std::vector<std::string>& written, const BeforeCut& before, bool hevc,
                        std::size_t& departs) {
    std::size_t next = 0;
    for (departs = 0; departs < written.size(); ++departs) {
        while (next < before.units.size() && before.units[next] != written[departs]) {
            if (isPicture(before.units[next], hevc)) return false;
            ++next;
        }
        if (next == before.units.size()) return false;
        ++next;
    }
    return std::none_of(before.units.begin() + std::ptrdiff_t(next), before.units.end(),
                        [&](const std::string& nal) { return isPicture(nal, hevc); });
}

// " (by type: 1x4 5x1)" for counts of units by type; empty for none.
std::string byType(const std::map<int, int>& counts) {
    if (counts.empty()) return {};
    std::ostringstream out;
    out << " (by type:";
    for (const auto& [type, count] : counts) out << ' ' << type << 'x' << count;
    out << ')';
    return out.str();
}

// Counts that tell how a written stream differs from the recording: pictures missing, units
// that are none of the recording's before the cut, delimiters, each by type.
std::string unitReport(const std::vector<std::string>& written, const BeforeCut& before, bool hevc,
                       std::size_t departs) {
    std::map<std::string, int> left;
    for (const std::string& nal : before.units) ++left[nal];
    std::map<int, int> junk, missing;
    int pictures = 0, delimiters = 0, junkUnits = 0, missingPictures = 0;
    std::size_t firstMissing = before.pictures.size();
    for (const std::string& nal : written) {
        pictures += isPicture(nal, hevc);
        delimiters += isDelimiter(nal, hevc);
        int& count = left[nal];
        if (count > 0) {
            --count;
        } else {
            ++junkUnits;
            ++junk[nalType(nal, hevc)];
        }
    }
    for (std::size_t i = 0; i < before.pictures.size(); ++i) {
        int& count = left[before.pictures[i]];
        if (count == 0) continue;
        --count;
        firstMissing = std::min(firstMissing, i);
        ++missingPictures;
        ++missing[nalType(before.pictures[i], hevc)];
    }
    std::ostringstream out;
    out << "pictures written " << pictures << ", expected " << before.pictures.size() << ", missing "
        << missingPictures << byType(missing);
    if (missingPictures > 0) out << ", the first of them picture " << firstMissing + 1;
    out << "; units written " << written.size() << " (" << delimiters
        << " delimiters), " << junkUnits << " of them none of the recording's before the cut" << byType(junk);
    if (departs < written.size())
        out << "; the stream departs at unit " << departs << " of type " << nalType(written[departs], hevc) << ", "
            << written[departs].size() << " bytes";
    return out.str();
}

// The first lines of a decoder's complaint, and how many there were.
std::string firstLines(const std::string& text, std::size_t count = 3) {
    const std::vector<std::string> all = lines(text);
    std::string out;
    for (std::size_t i = 0; i < std::min(count, all.size()); ++i) out += all[i] + "\n";
    if (all.size() > count) out += "... " + std::to_string(all.size()) + " lines";
    return out;
}

const std::vector<RecordingCase>& damageCases() {
    static const std::vector<RecordingCase> cases = {
        // Every kind of damage over an H.264 recording; the big sizes once.
        takeWith(Take::X264Aac, randomBytes(64 * kKiB)),
        takeWith(Take::X264Aac, randomBytes(300 * kKiB)),
        takeWith(Take::X264Aac, randomBytes(1 * kMiB)),
        takeWith(Take::X264Aac, randomBytes(33 * kMiB)),
        takeWith(Take::X264Aac, unitLikeBytes(64 * kKiB)),
        // Another file's bytes with a false length word in front of a header that parses.
        takeWith(Take::X264Aac, falseUnit(FalseReach::PastTheEnd, 300 * kKiB)),
        takeWith(Take::X264Aac, falseUnit(FalseReach::IntoDamage, 300 * kKiB)),
        takeWith(Take::X264Aac, falseUnit(FalseReach::IntoStream, 300 * kKiB)),
        takeWith(Take::X264Aac, runOf(0xFF, 64 * kKiB)),
        takeWith(Take::X264Aac, runOf(0xFF, 2 * kMiB)),
        takeWith(Take::X264Aac, runOf(0xFF, 200 * kMiB)),
        takeWith(Take::X264Aac, runOf(0x00, 64 * kKiB)),
        takeWith(Take::X264Aac, runOf(0x00, 2 * kMiB)),
        takeWith(Take::X264Aac, runOf(0x00, 200 * kMiB)),
        // And over an H.265 recording.
        takeWith(Take::X265Aac, randomBytes(64 * kKiB)),
        takeWith(Take::X265Aac, randomBytes(300 * kKiB)),
        takeWith(Take::X265Aac, randomBytes(1 * kMiB)),
        takeWith(Take::X265Aac, unitLikeBytes(64 * kKiB)),
        takeWith(Take::X265Aac, falseUnit(FalseReach::PastTheEnd, 300 * kKiB)),
        takeWith(Take::X265Aac, falseUnit(FalseReach::IntoDamage, 300 * kKiB)),
        takeWith(Take::X265Aac, falseUnit(FalseReach::IntoStream, 300 * kKiB)),
        takeWith(Take::X265Aac, runOf(0xFF, 64 * kKiB)),
        takeWith(Take::X265Aac, runOf(0xFF, 2 * kMiB)),
        takeWith(Take::X265Aac, runOf(0x00, 64 * kKiB)),
        takeWith(Take::X265Aac, runOf(0x00, 2 * kMiB)),
        // The kinds of sound, undamaged and with erased flash, a hole and another file's bytes.
        takeWith(Take::X264AacMono),
        takeWith(Take::X264AacMono, runOf(0xFF, 2 * kMiB)),
        takeWith(Take::X264AacMono, runOf(0x00, 2 * kMiB)),
        takeWith(Take::X264AacMono, randomBytes(300 * kKiB)),
        takeWith(Take::X264Aac51, runOf(0xFF, 2 * kMiB)),
        takeWith(Take::X264Aac51, runOf(0x00, 2 * kMiB)),
        takeWith(Take::X264Aac51, randomBytes(300 * kKiB)),
        takeWith(Take::X264PcmMov, runOf(0xFF, 2 * kMiB)),
        takeWith(Take::X264PcmMov, runOf(0x00, 2 * kMiB)),
        takeWith(Take::X264PcmMov, randomBytes(300 * kKiB)),
        takeWith(Take::X264ImaQtMov),
        takeWith(Take::X264ImaQtMov, runOf(0xFF, 2 * kMiB)),
        takeWith(Take::X264ImaQtMov, runOf(0x00, 2 * kMiB)),
        takeWith(Take::X264ImaQtMov, randomBytes(300 * kKiB)),
        // Recordings that differ from their reference: undamaged, cut at 70% or through a picture.
        takeWith(Take::X265OpenGopHvc1),
        takeWith(Take::X265OpenGopHev1),
        takeWith(Take::X264FourSlices),
        takeWith(Take::X264StillScene),
        // The recordings that need units the reference never showed, with damage as well.
        takeWith(Take::X265OpenGopHvc1, randomBytes(300 * kKiB)),
        takeWith(Take::X265OpenGopHev1, runOf(0xFF, 2 * kMiB)),
        takeWith(Take::X264StillScene, randomBytes(300 * kKiB)),
        takeWith(Take::X264StillScene, unitLikeBytes(64 * kKiB)),
        takeWith(Take::X264FourSlices, randomBytes(300 * kKiB)),
        // The file ends inside a slice, before the end of its header (fewer bytes than a header may
        // take) or behind it, in a slice longer than the reference's: the unit is cut off, neither
        // picture nor sound.
        takeCutIntoSlice(Take::X264Aac, 40),
        takeCutIntoSlice(Take::X264PcmMov, 40),
        takeCutIntoSlice(Take::X265Aac, 200),
        // Nothing but random bytes: no picture and no sound.
        damageAlone(Take::X264Aac, randomBytes(2 * kMiB)),
        damageAlone(Take::X265Aac, randomBytes(2 * kMiB)),
    };
    return cases;
}

class DamageRecovery : public ::testing::TestWithParam<RecordingCase> {};

TEST_P(DamageRecovery, EveryWholePictureAndAllTheSoundAndNothingElse) {
    const RecordingCase& c = GetParam();
    const ClipSettings& settings = c.settings;
    const bool hevc = settings.video == VideoCodec::H265;
    TempDir dir;
    const DamagedRecording clips = damagedRecording(c, dir);
    ASSERT_FALSE(clips.damaged.empty());
    videoRepair engine;
    ReferenceHeaders headers;
    const bool recordingKept = c.cut != Cut::Nothing;
    // A file of damage alone holds no picture: the engine says so.
    ASSERT_NO_FATAL_FAILURE(repairWithReference(engine, clips.reference, clips.damaged, dir, headers,
                                                recordingKept ? videoRepair::kFinished : videoRepair::kNoVideoFound));
    const std::string& header = headers.video;

    BeforeCut before = beforeCut(clips.recording, clips.cut, hevc);
    if (settings.audio == AudioCodec::ImaAdpcmQt) {
        ASSERT_NO_FATAL_FAILURE(asDecodedQtIma(before, clips.recording, settings.audioChannels));
    }
    if (recordingKept) {
        ASSERT_GT(before.wholeVideoPackets, 25);
    }

    // Units: the recording's own in its order, every picture, nothing else.
    const std::string stream = readFile(engine.videoOutputPath.toStdString());
    ASSERT_EQ(stream.compare(0, header.size(), header), 0) << "the stream opens with the reference's header";
    const std::vector<std::string> units = annexBUnits(stream.substr(header.size()));
    std::size_t departs = 0;
    EXPECT_TRUE(isOrderedSelection(units, before, hevc, departs)) << unitReport(units, before, hevc, departs);

    // Frames: decoded without a complaint, the same as the whole packets decoded on their own.
    if (recordingKept) {
        std::string errors;
        const std::vector<std::string> frames =
            frameSums(engine.videoOutputPath.toStdString(), annexBFormat(hevc), &errors);
        EXPECT_TRUE(errors.empty()) << "the decoder complains:\n" << firstLines(errors);
        const std::vector<std::string> expected = framesOfFirstPackets(
            clips.recording, before.wholeVideoPackets + before.cutSampleHasWholePicture, hevc, dir.file("expected.raw"));
        EXPECT_TRUE(frames == expected) << "decoded " << frames.size() << " frames, expected " << expected.size();
    }

    // Sound: every whole audio packet before the cut, and nothing of the damage.
    EXPECT_TRUE(soundBeforeTheCut(recoveredSound(engine, headers), before));
}

INSTANTIATE_TEST_SUITE_P(Damage, DamageRecovery, ::testing::ValuesIn(damageCases()),
                         [](const ::testing::TestParamInfo<RecordingCase>& info) { return info.param.name; });

}  // namespace
