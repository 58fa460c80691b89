// The playback check on streams of real clips: their pictures behind their own parameter sets,
// behind those of a clip of other settings, and with parts of the stream missing.
#include "repair/playback_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/start_codes.h"
#include "mp4/nal_header.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

namespace {

using namespace testsupport;

// Over 48 pictures, so that the whole of the check's reach is pictures. x265 on threads encodes
// differently from one machine to the next, and under another reference's parameter sets the
// decoder's complaints depend on the encoding: one thread makes every machine's clip the same.
// `x265` adds parameters of that encoder.
ClipSettings clipOf(VideoCodec codec, int width, int height, std::vector<std::string> extra = {},
                    const std::string& x265 = "") {
    if (codec == VideoCodec::H265)
        extra.insert(extra.end(),
                     {"-x265-params", "log-level=error:pools=1:frame-threads=1" + (x265.empty() ? "" : ":" + x265)});
    ClipSettings settings = clipSettings(codec, AudioCodec::None, Container::Mp4, std::move(extra));
    settings.seconds = 2.4;
    settings.width = width;
    settings.height = height;
    return settings;
}

bool isHevc(const ClipSettings& settings) { return settings.video == VideoCodec::H265; }

// The clip's video as the repair writes it: one Annex B stream.
std::string annexBStream(const ClipSettings& settings) {
    const std::string source = clip(settings);
    if (source.empty()) return {};
    const std::string stream = source + (isHevc(settings) ? ".hevc" : ".h264");
    const bool made = produceOnce(stream, [&](const std::string& out) {
        const char* filter = isHevc(settings) ? "hevc_mp4toannexb" : "h264_mp4toannexb";
        return runProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", source, "-an", "-c:v", "copy", "-bsf:v", filter,
                           "-f", isHevc(settings) ? "hevc" : "h264", "-y", out})
                   .exitCode == 0;
    });
    return made ? readFile(stream) : std::string();
}

// The stream's NAL units, each with its start code.
std::vector<std::string> unitsOf(const std::string& stream) {
    std::vector<NalRange> ranges;
    splitNalUnits(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size(), ranges);
    std::vector<std::string> units;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const std::size_t end = i + 1 < ranges.size() ? ranges[i + 1].startCode : stream.size();
        units.push_back(stream.substr(ranges[i].startCode, end - ranges[i].startCode));
    }
    return units;
}

// The NAL type of a unit as unitsOf gives it.
int typeOf(const std::string& unit, bool hevc) {
    const std::size_t header = unit.find('\1') + 1;
    return mp4::nalTypeOf(static_cast<std::uint8_t>(unit[header]), hevc);
}

bool isParameterSet(const std::string& unit, bool hevc) {
    const int type = typeOf(unit, hevc);
    return hevc ? type >= 32 && type <= 34 : type == 7 || type == 8;
}

struct Split {
    std::string parameterSets;  // every parameter set, in order
    std::string pictures;       // everything else
};

Split split(const std::string& stream, bool hevc) {
    Split parts;
    for (const std::string& unit : unitsOf(stream)) (isParameterSet(unit, hevc) ? parts.parameterSets : parts.pictures) += unit;
    return parts;
}

PlaybackCheck check(const std::string& stream, bool hevc, bool cutShort = false) {
    return checkFirstPictures(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size(), hevc, cutShort);
}

// The slice units of an H.265 stream per picture that starts in it (first_slice_segment_in_pic_flag).
double slicesPerPicture(const std::string& stream) {
    int slices = 0;
    int pictures = 0;
    for (const std::string& unit : unitsOf(stream)) {
        if (typeOf(unit, true) >= 32) continue;
        const std::size_t header = unit.find('\1') + 1;
        ++slices;
        pictures += (static_cast<std::uint8_t>(unit[header + 2]) & 0x80) != 0;
    }
    return pictures == 0 ? 0 : double(slices) / pictures;
}

struct FitCase {
    const char* name;
    ClipSettings recording;
    ClipSettings reference;  // whose parameter sets open the stream
    bool plays;
    // Faulty pictures at least, for a stream that does not play: all of them where the H.265
    // slices' entry points tell the picture size. (Where a reference's slices are cut otherwise,
    // the later segments' headers misread under its parameter sets and tell nothing for
    // certain; the decoder complains of those pictures instead.)
    int leastFaulty = kToleratedFaults + 1;
    int slicesPerPicture = 1;  // of an H.265 recording
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }
class ParameterSetsOfAReference : public ::testing::TestWithParam<FitCase> {};

}  // namespace

// The pictures behind the parameter sets of their own settings play; behind those of another
// size or profile they fail. Under H.265 the decoder takes most such pictures without a
// complaint (and under a smaller picture's parameter sets it decodes the top of each and never
// looks at the rest), but the wavefront entry points x265 writes in every slice segment, one
// per CTB row, do not match the rows of another picture size: every picture fails.
TEST_P(ParameterSetsOfAReference, DecideWhetherTheStreamPlays) {
    const FitCase& c = GetParam();
    const bool hevc = isHevc(c.recording);
    const std::string recording = annexBStream(c.recording);
    const std::string reference = annexBStream(c.reference);
    ASSERT_FALSE(recording.empty());
    ASSERT_FALSE(reference.empty());
    if (hevc) {
        ASSERT_DOUBLE_EQ(slicesPerPicture(recording), c.slicesPerPicture);
    }
    const PlaybackCheck result = check(split(reference, hevc).parameterSets + split(recording, hevc).pictures, hevc);
    EXPECT_TRUE(result.checked);
    EXPECT_EQ(result.pictures, kCheckedPictures);
    EXPECT_EQ(result.plays(), c.plays) << result.faultyPictures << " faulty pictures";
    if (c.plays)
        EXPECT_EQ(result.faultyPictures, 0);
    else
        EXPECT_GE(result.faultyPictures, c.leastFaulty);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ParameterSetsOfAReference,
    ::testing::Values(
        FitCase{"h264_own_settings", clipOf(VideoCodec::H264, 320, 240), clipOf(VideoCodec::H264, 320, 240), true},
        FitCase{"h264_larger_reference", clipOf(VideoCodec::H264, 320, 240),
                clipOf(VideoCodec::H264, 640, 480, {"-profile:v", "high"}), false},
        FitCase{"h264_smaller_reference", clipOf(VideoCodec::H264, 640, 480), clipOf(VideoCodec::H264, 320, 240),
                false},
        FitCase{"h264_baseline_reference_of_the_same_size", clipOf(VideoCodec::H264, 320, 240),
                clipOf(VideoCodec::H264, 320, 240, {"-profile:v", "baseline"}), false},
        FitCase{"h265_own_settings", clipOf(VideoCodec::H265, 320, 240), clipOf(VideoCodec::H265, 320, 240), true},
        FitCase{"h265_larger_reference", clipOf(VideoCodec::H265, 320, 240), clipOf(VideoCodec::H265, 640, 480),
                false, kCheckedPictures},
        FitCase{"h265_smaller_reference", clipOf(VideoCodec::H265, 640, 480), clipOf(VideoCodec::H265, 320, 240),
                false, kCheckedPictures},
        FitCase{"h265_four_slices_own_settings", clipOf(VideoCodec::H265, 320, 240, {}, "slices=4"),
                clipOf(VideoCodec::H265, 320, 240, {}, "slices=4"), true, 0, 4},
        FitCase{"h265_four_slices_larger_reference", clipOf(VideoCodec::H265, 320, 240, {}, "slices=4"),
                clipOf(VideoCodec::H265, 640, 480, {}, "slices=4"), false, kToleratedFaults + 1, 4}),
    [](const auto& info) { return std::string(info.param.name); });

// A stream that lost its first key picture (the damage took the start of the data) still
// plays: the pictures before the next key picture lack their references, not their fit.
TEST(PlaybackCheck, AStreamWithoutItsFirstKeyPicturePlays) {
    const std::string stream = annexBStream(clipOf(VideoCodec::H264, 320, 240, {"-g", "300"}));
    ASSERT_FALSE(stream.empty());
    std::string rest;
    bool keyDropped = false;
    for (const std::string& unit : unitsOf(stream)) {
        if (typeOf(unit, false) == 5 && !keyDropped) {
            keyDropped = true;
            continue;
        }
        rest += unit;
    }
    ASSERT_TRUE(keyDropped);
    const PlaybackCheck result = check(rest, false);
    EXPECT_TRUE(result.plays()) << result.faultyPictures << " faulty pictures";
    EXPECT_EQ(result.faultyPictures, 0);
}

// The H.264 stream up to the middle of the first slice of its `picture`-th picture (from 1).
std::string cutInsidePicture(const std::string& stream, int picture) {
    std::string cut;
    int pictures = 0;
    for (const std::string& unit : unitsOf(stream)) {
        const int type = typeOf(unit, false);
        if ((type == 1 || type == 5) && ++pictures == picture) return cut + unit.substr(0, unit.size() / 2);
        cut += unit;
    }
    ADD_FAILURE() << "the stream has only " << pictures << " pictures";
    return cut;
}

TEST(PlaybackCheck, StreamsWithoutAWholePictureDoNotPlayOrAreNotJudged) {
    const std::string stream = annexBStream(clipOf(VideoCodec::H264, 320, 240));
    ASSERT_FALSE(stream.empty());
    EXPECT_FALSE(check(split(stream, false).parameterSets, false).plays());
    EXPECT_FALSE(check("", false).plays());
    // The bytes of a stream that goes on end inside its first picture: nothing whole to try,
    // and nothing claimed.
    const PlaybackCheck firstCut = check(cutInsidePicture(stream, 1), false, true);
    EXPECT_FALSE(firstCut.checked);
    EXPECT_TRUE(firstCut.plays());
}

// Bytes read from a stream that goes on may end inside a picture: that one is not tried, so a
// read cut short never makes a picture faulty.
TEST(PlaybackCheck, APictureTheReadCutsIsNotTried) {
    const std::string stream = annexBStream(clipOf(VideoCodec::H264, 320, 240));
    ASSERT_FALSE(stream.empty());
    const PlaybackCheck result = check(cutInsidePicture(stream, 4), false, true);
    EXPECT_EQ(result.pictures, 3);
    EXPECT_EQ(result.faultyPictures, 0);
    EXPECT_TRUE(result.plays());
}
