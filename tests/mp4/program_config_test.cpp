// The program config element of channel configuration 0: read from a decoder configuration
// wherever it starts there, and written again as the first element of a raw data block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mp4/bit_writer.h"
#include "mp4/es_descriptor.h"
#include "mp4/program_config.h"
#include "tests/mp4/span_helpers.h"

namespace {

mp4::ProgramConfig quad() {
    mp4::ProgramConfig c;
    c.profile = 1;
    c.frequencyIndex = 3;
    c.front = {{true, 0}};
    c.back = {{true, 1}};
    c.comment = {'L', 'a', 'v', 'c', '5', '9', '.', '3', '7', '.', '1', '0', '0'};
    return c;
}

// Everything the element holds, beyond the channel layout.
mp4::ProgramConfig everyField() {
    mp4::ProgramConfig c;
    c.instanceTag = 9;
    c.profile = 1;
    c.frequencyIndex = 4;
    c.front = {{false, 0}, {true, 0}};
    c.side = {{true, 1}};
    c.back = {{true, 2}, {false, 1}};
    c.lfe = {0};
    c.dataStreams = {3, 4};
    c.couplings = {{true, 5}};
    c.monoMixdown = 2;
    c.stereoMixdown = 7;
    c.matrixMixdown = 1;
    c.pseudoSurround = true;
    c.comment = {'x'};
    return c;
}

void expectSame(const mp4::ProgramConfig& got, const mp4::ProgramConfig& want) {
    EXPECT_EQ(got.instanceTag, want.instanceTag);
    EXPECT_EQ(got.profile, want.profile);
    EXPECT_EQ(got.frequencyIndex, want.frequencyIndex);
    const auto layout = [](const mp4::ProgramConfig& c) {
        std::vector<std::pair<int, int>> elements;
        for (const mp4::ChannelElement& e : c.channelElements()) elements.emplace_back(e.id, e.tag);
        return elements;
    };
    EXPECT_EQ(layout(got), layout(want));
    EXPECT_EQ(got.dataStreams, want.dataStreams);
    ASSERT_EQ(got.couplings.size(), want.couplings.size());
    for (std::size_t i = 0; i < got.couplings.size(); ++i) {
        EXPECT_EQ(got.couplings[i].independent, want.couplings[i].independent);
        EXPECT_EQ(got.couplings[i].tag, want.couplings[i].tag);
    }
    EXPECT_EQ(got.monoMixdown, want.monoMixdown);
    EXPECT_EQ(got.stereoMixdown, want.stereoMixdown);
    EXPECT_EQ(got.matrixMixdown, want.matrixMixdown);
    EXPECT_EQ(got.pseudoSurround, want.pseudoSurround);
    EXPECT_EQ(got.comment, want.comment);
}

std::string text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

// The decoder configuration the ffmpeg tool's encoder writes for quad sound.
TEST(ProgramConfig, QuadOfTheEncodersDecoderConfiguration) {
    const std::string asc("\x11\x80\x04\xC4\x04\x00\x21\x10\x0D" "Lavc59.37.100", 22);
    mp4::AudioSpecificConfig config;
    ASSERT_TRUE(mp4::parseAudioSpecificConfig(spanOf(asc), config));
    EXPECT_EQ(config.channelConfiguration, 0);
    ASSERT_TRUE(config.programConfig);
    expectSame(*config.programConfig, quad());
    EXPECT_EQ(config.programConfig->channels(), 4);
    // As the first element of a raw data block: the same bytes as the encoder's ADTS stream has.
    EXPECT_EQ(text(mp4::programConfigElement(*config.programConfig)),
              std::string("\xA0\x98\x80\x80\x04\x22\x0D" "Lavc59.37.100", 20));
}

// The comment's byte alignment counts from where the configuration starts, so the element's
// place in it (behind an explicit frequency, after a core coder delay) changes the bits, not
// what is read; every field comes back from either form.
TEST(ProgramConfig, ReadWhereverItStarts) {
    struct Case {
        const char* name;
        bool explicitFrequency, coreCoderDelay;
        mp4::ProgramConfig element;
    };
    const Case cases[] = {
        {"quad", false, false, quad()},
        {"behind an explicit frequency", true, false, quad()},
        {"after a core coder delay", false, true, quad()},
        {"every field", true, true, everyField()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mp4::BitWriter bits;
        bits.put(2, 5);  // AAC LC
        bits.put(c.explicitFrequency ? 15 : 3, 4);
        if (c.explicitFrequency) bits.put(48000, 24);
        bits.put(0, 4);  // channel configuration 0
        bits.put(0, 1);  // frame length flag
        bits.put(c.coreCoderDelay ? 1 : 0, 1);
        if (c.coreCoderDelay) bits.put(1234, 14);
        bits.put(0, 1);  // extension flag
        mp4::writeProgramConfig(bits, c.element);
        mp4::AudioSpecificConfig config;
        ASSERT_TRUE(mp4::parseAudioSpecificConfig(spanOf(text(bits.bytes())), config));
        ASSERT_TRUE(config.programConfig);
        expectSame(*config.programConfig, c.element);

        const std::vector<std::uint8_t> element = mp4::programConfigElement(c.element);
        mp4::ProgramConfig back;
        std::size_t size = 0;
        ASSERT_TRUE(mp4::readProgramConfigElement(element.data(), element.size(), back, size));
        EXPECT_EQ(size, element.size());
        expectSame(back, c.element);
    }
}

TEST(ProgramConfig, CutShortIsNotRead) {
    const std::vector<std::uint8_t> element = mp4::programConfigElement(quad());
    for (std::size_t length = 0; length < element.size(); ++length) {
        mp4::ProgramConfig back;
        std::size_t size = 0;
        EXPECT_FALSE(mp4::readProgramConfigElement(element.data(), length, back, size)) << length;
    }
    // A configuration whose element is cut still tells its rate and channel configuration.
    const std::string asc("\x11\x80\x04\xC4\x04", 5);
    mp4::AudioSpecificConfig config;
    ASSERT_TRUE(mp4::parseAudioSpecificConfig(spanOf(asc), config));
    EXPECT_EQ(config.channelConfiguration, 0);
    EXPECT_FALSE(config.programConfig);
}
