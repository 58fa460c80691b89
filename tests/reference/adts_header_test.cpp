// The ADTS header the reference gives the audio repair: its profile, sampling-frequency index and
// channel configuration are the decoder configuration's, not the sample entry's (an MP4 or 3GP
// entry says two channels whatever the sound has).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reference/mp4_structure.h"
#include "tests/reference/ffprobe_streams.h"
#include "tests/support/test_clips.h"

using namespace testsupport;

namespace {

struct HeaderFields {
    int profile, frequencyIndex, channels;
};

HeaderFields fieldsOf(const std::vector<std::uint8_t>& h) {
    return {h[2] >> 6, (h[2] >> 2) & 0x0F, ((h[2] & 1) << 2) | (h[3] >> 6)};
}

TrackRecord aacEntry(std::uint32_t rate, std::uint16_t channels) {
    TrackRecord t;
    t.sampleRate = rate;
    t.channelCount = channels;
    t.sampleSize = 16;
    t.objectTypeIndication = 0x40;
    return t;
}

}  // namespace

TEST(AdtsHeader, FieldsComeFromTheDecoderConfigurationWhereItGivesThem) {
    struct Case {
        const char* name;
        TrackRecord entry;
        mp4::AudioSpecificConfig config;
        HeaderFields want;
    };
    const Case cases[] = {
        {"stereo", aacEntry(48000, 2), {2, 3, 0, 2}, {1, 3, 2}},
        {"5.1 under an entry of 2", aacEntry(48000, 2), {2, 3, 0, 6}, {1, 3, 6}},
        {"7.1 (configuration 7) under an entry of 2", aacEntry(48000, 2), {2, 3, 0, 7}, {1, 3, 7}},
        {"mono under a 3GP entry of 2", aacEntry(48000, 2), {2, 3, 0, 1}, {1, 3, 1}},
        {"44.1 kHz under an entry of 48 kHz", aacEntry(48000, 2), {2, 4, 0, 2}, {1, 4, 2}},
        {"main profile", aacEntry(48000, 2), {1, 3, 0, 2}, {0, 3, 2}},
        {"explicit rate in the table", aacEntry(8000, 2), {2, 15, 22050, 1}, {1, 7, 1}},
        // What the configuration cannot say in an ADTS header is the entry's, field by field.
        {"explicit rate outside the table", aacEntry(32000, 2), {2, 15, 47999, 1}, {1, 5, 1}},
        {"reserved frequency index", aacEntry(24000, 2), {2, 13, 0, 2}, {1, 6, 2}},
        {"channels in a program config element", aacEntry(48000, 6), {2, 3, 0, 0}, {1, 3, 6}},
        {"object type beyond the 2-bit profile", aacEntry(48000, 2), {42, 3, 0, 2}, {0, 3, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto header = adtsHeaderFor(c.entry, &c.config);
        ASSERT_EQ(header.size(), 7u);
        const HeaderFields got = fieldsOf(header);
        EXPECT_EQ(got.profile, c.want.profile);
        EXPECT_EQ(got.frequencyIndex, c.want.frequencyIndex);
        EXPECT_EQ(got.channels, c.want.channels);
        // The rest of the header is the entry's, as without a configuration.
        const auto plain = adtsHeaderFor(c.entry);
        EXPECT_EQ(header[0], plain[0]);
        EXPECT_EQ(header[1], plain[1]);
        EXPECT_EQ(header[3] & 0x3F, plain[3] & 0x3F);
        EXPECT_EQ(header[4], plain[4]);
        EXPECT_EQ(header[5], plain[5]);
        EXPECT_EQ(header[6], plain[6]);
    }
}

// Four-channel sound laid out by a program config element: the header says channel configuration
// 0 and the element follows it, byte-aligned as the first element of a raw data block, so that
// the audio repair reads the layout from it.
TEST(AdtsHeader, ChannelsOfAProgramConfigElementFollowTheHeader) {
    mp4::ProgramConfig quad;
    quad.profile = 1;
    quad.frequencyIndex = 3;
    quad.front = {{true, 0}};
    quad.back = {{true, 1}};
    quad.comment = {'q', 'u', 'a', 'd'};
    mp4::AudioSpecificConfig config{2, 3, 0, 0};
    config.programConfig = quad;

    const auto header = adtsHeaderFor(aacEntry(48000, 2), &config);
    ASSERT_GT(header.size(), 7u);
    const HeaderFields got = fieldsOf(header);
    EXPECT_EQ(got.profile, 1);
    EXPECT_EQ(got.frequencyIndex, 3);
    EXPECT_EQ(got.channels, 0);
    mp4::ProgramConfig back;
    std::size_t size = 0;
    ASSERT_TRUE(mp4::readProgramConfigElement(header.data() + 7, header.size() - 7, back, size));
    EXPECT_EQ(size, header.size() - 7);
    EXPECT_EQ(back.channels(), 4);
    EXPECT_EQ(back.comment, quad.comment);
}

namespace {

struct ClipCase {
    const char* name;
    Container container;
    int rate, channels;
    std::vector<std::string> extraArgs = {};
};
void PrintTo(const ClipCase& c, std::ostream* os) { *os << c.name; }
class AdtsHeaderOfARecording : public ::testing::TestWithParam<ClipCase> {};

int frequencyIndexOf(int rate) {
    const int table[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};
    for (int i = 0; i < 13; ++i)
        if (table[i] == rate) return i;
    return -1;
}

}  // namespace

// Recordings of the ffmpeg tool's AAC encoder: the header says what its probe finds.
TEST_P(AdtsHeaderOfARecording, SaysWhatTheSoundIs) {
    const ClipCase& c = GetParam();
    ClipSettings settings = clipSettings(VideoCodec::None, AudioCodec::Aac, c.container);
    settings.seconds = 1;
    settings.audioRate = c.rate;
    settings.audioChannels = c.channels;
    settings.extraArgs = c.extraArgs;
    const std::string path = clip(settings);
    ASSERT_FALSE(path.empty());
    const StreamFields probed = lastStreamOf(ffprobeStreams(path), "audio");
    ASSERT_EQ(probed.at("channels"), std::to_string(c.channels));

    AnalysisResult result;
    parseMp4File(path, result);
    ASSERT_EQ(result.tracks.size(), 1u);
    const TrackRecord& track = result.tracks[0];
    const HeaderFields got = fieldsOf(track.adtsHeader);
    EXPECT_EQ(got.profile, 1);  // AAC LC
    EXPECT_EQ(got.frequencyIndex, frequencyIndexOf(c.rate));
    EXPECT_EQ(track.audioHeaderHex.size(), 2 * track.adtsHeader.size());
    if (got.channels != 0) {
        EXPECT_EQ(got.channels, c.channels);
        EXPECT_EQ(track.adtsHeader.size(), 7u);
        return;
    }
    // The layout is in the program config element behind the header.
    mp4::ProgramConfig layout;
    std::size_t size = 0;
    ASSERT_TRUE(mp4::readProgramConfigElement(track.adtsHeader.data() + 7, track.adtsHeader.size() - 7, layout, size));
    EXPECT_EQ(size + 7, track.adtsHeader.size());
    EXPECT_EQ(layout.channels(), c.channels);
}

INSTANTIATE_TEST_SUITE_P(Sounds, AdtsHeaderOfARecording,
                         ::testing::Values(ClipCase{"stereo_mp4", Container::Mp4, 48000, 2},
                                           ClipCase{"surround_5_1_mp4", Container::Mp4, 48000, 6},
                                           ClipCase{"mono_3gp", Container::ThreeGp, 48000, 1},
                                           ClipCase{"stereo_44k_mp4", Container::Mp4, 44100, 2},
                                           // The encoder writes quad sound with a program config element.
                                           ClipCase{"quad_mp4", Container::Mp4, 48000, 4, {"-channel_layout", "quad"}}),
                         [](const auto& info) { return std::string(info.param.name); });
