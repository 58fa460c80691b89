#include <gtest/gtest.h>

#include "mp4/avc_config.h"
#include "mp4/dec3_config.h"
#include "mp4/es_descriptor.h"
#include "mp4/fourcc_text.h"
#include "mp4/hevc_config.h"
#include "tests/mp4/box_builder.h"
#include "tests/mp4/span_helpers.h"

using namespace boxes;

TEST(AvcConfig, ParameterSetsInOrderAndCodecString) {
    const std::string sps1 = bytes({0x67, 0x64, 0x00, 0x1F}), sps2 = bytes({0x67, 0x4D}), pps = bytes({0x68, 0xEB});
    mp4::AvcConfig config;
    const std::string record = avcC({sps1, sps2}, {pps}, 2, 0x64, 0x00, 0x1F);  // the spans point into it
    ASSERT_TRUE(mp4::parseAvcConfig(payloadOf(record), config));
    EXPECT_EQ(config.nalLengthSize, 2);
    ASSERT_EQ(config.sequenceParameterSets.size(), 2u);
    EXPECT_EQ(textOf(config.sequenceParameterSets[1]), sps2);
    ASSERT_EQ(config.pictureParameterSets.size(), 1u);
    EXPECT_EQ(textOf(config.pictureParameterSets[0]), pps);
    EXPECT_EQ(mp4::avcCodecString(mp4::fourcc("avc1"), config), "avc1.64001F");
}

TEST(AvcConfig, LengthsPastTheRecordFail) {
    std::string record = avcC({bytes({0x67, 1, 2, 3})}, {bytes({0x68})});
    record = record.substr(8, 8) + u16(40) + "ab";  // SPS length 40 with 2 bytes there
    mp4::AvcConfig config;
    EXPECT_FALSE(mp4::parseAvcConfig(spanOf(record), config));
}

TEST(HevcConfig, ArraysWalkedByTheirCounts) {
    const std::string vps = bytes({0x40, 0x01, 0x0C}), sps = bytes({0x42, 0x01}), pps1 = bytes({0x44, 0x01, 0xC1}),
                      pps2 = bytes({0x44, 0x01, 0xC2});
    mp4::HevcConfig config;
    const std::string record = hvcC({{32, {vps}}, {33, {sps}}, {34, {pps1, pps2}}});  // the spans point into it
    ASSERT_TRUE(mp4::parseHevcConfig(payloadOf(record), config));
    EXPECT_EQ(config.nalLengthSize, 4);
    ASSERT_EQ(config.arrays.size(), 3u);
    EXPECT_EQ(config.arrays[0].nalUnitType, 32);
    ASSERT_EQ(config.arrays[2].units.size(), 2u);
    EXPECT_EQ(textOf(config.arrays[2].units[1]), pps2);
    EXPECT_EQ(mp4::hevcCodecString(mp4::fourcc("hvc1"), config), "hvc1.1.6.L93.90");

    std::string cut = hvcC({{32, {vps}}});
    cut.resize(cut.size() - 1);
    EXPECT_FALSE(mp4::parseHevcConfig(payloadOf(cut), config));
}

TEST(EsDescriptor, ObjectTypeWithAndWithoutOptionalFields) {
    mp4::EsDescriptor es;
    ASSERT_TRUE(mp4::parseEsds(payloadOf(esds(0x40)), es));
    EXPECT_EQ(es.objectTypeIndication, 0x40);

    // Four-byte sizes, and the stream-dependence, URL and OCR fields before the configuration.
    const std::string config = u8(0x04) + bytes({0x80, 0x80, 0x80, 13}) + u8(0x6B) + zeros(12);
    const std::string es2 = u8(0x03) + bytes({0x80, 0x80, 0x80, static_cast<unsigned>(3 + 2 + 4 + 2 + config.size())}) + u16(1) +
                            u8(0xE0) + u16(7) + u8(3) + "url" + u16(9) + config;
    ASSERT_TRUE(mp4::parseEsds(payloadOf(fullBox("esds", 0, 0, es2)), es));
    EXPECT_EQ(es.objectTypeIndication, 0x6B);
    EXPECT_FALSE(es.hasAudioConfig);  // no decoder-specific information

    EXPECT_FALSE(mp4::parseEsds(payloadOf(fullBox("esds", 0, 0, u8(0x05) + u8(0))), es));
    EXPECT_FALSE(mp4::parseEsds(payloadOf(fullBox("esds", 0, 0, u8(0x03) + u8(3) + u16(1) + u8(0))), es));
}

TEST(EsDescriptor, AudioConfigFromTheDecoderSpecificInformation) {
    struct Case {
        const char* name;
        std::string info;
        bool readable;
        int objectType, frequencyIndex, channels;
    };
    const Case cases[] = {
        {"stereo", bytes({0x11, 0x90}), true, 2, 3, 2},
        {"5.1 (the sample entry may say 2)", bytes({0x11, 0xB0}), true, 2, 3, 6},
        {"mono at 44.1 kHz", bytes({0x12, 0x08}), true, 2, 4, 1},
        {"cut before the channels", bytes({0x11}), false, 0, 0, 0},
        {"empty", "", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mp4::EsDescriptor es;
        const std::string box = esds(0x40, c.info);
        ASSERT_TRUE(mp4::parseEsds(payloadOf(box), es));
        EXPECT_EQ(es.objectTypeIndication, 0x40);
        ASSERT_EQ(es.hasAudioConfig, c.readable);
        if (!c.readable) continue;
        EXPECT_EQ(es.audioConfig.objectType, c.objectType);
        EXPECT_EQ(es.audioConfig.frequencyIndex, c.frequencyIndex);
        EXPECT_EQ(es.audioConfig.channelConfiguration, c.channels);
    }
}

TEST(AudioSpecificConfig, EscapesAndSbrSignalling) {
    struct Case {
        const char* name;
        std::vector<unsigned> bytes;
        bool ok;
        mp4::AudioSpecificConfig want;
    };
    const Case cases[] = {
        {"main profile", {0x09, 0x90}, true, {1, 3, 0, 2}},
        {"channels in a program config element", {0x11, 0x80}, true, {2, 3, 0, 0}},
        // Object type 31 is the escape: 32 plus six more bits.
        {"escaped object type 42", {0xF9, 0x46, 0x40}, true, {42, 3, 0, 2}},
        // Index 15 is the escape: the frequency follows in 24 bits.
        {"explicit 48000 Hz", {0x17, 0x80, 0x5D, 0xC0, 0x10}, true, {2, 15, 48000, 2}},
        {"explicit 47999 Hz", {0x17, 0x80, 0x5D, 0xBF, 0x90}, true, {2, 15, 47999, 2}},
        {"explicit frequency cut short", {0x17, 0x80, 0x5D}, false, {}},
        // SBR at 48 kHz over AAC LC at 24 kHz: the core's type and rate are what ADTS carries.
        {"sbr over lc", {0x2B, 0x11, 0x88}, true, {2, 6, 0, 2}},
        {"ps over lc", {0xEB, 0x09, 0x88}, true, {2, 6, 0, 1}},
        {"sbr without its core type", {0x2B, 0x11}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string raw;
        for (unsigned b : c.bytes) raw += static_cast<char>(b);
        mp4::AudioSpecificConfig got;
        ASSERT_EQ(mp4::parseAudioSpecificConfig(spanOf(raw), got), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(got.objectType, c.want.objectType);
        EXPECT_EQ(got.frequencyIndex, c.want.frequencyIndex);
        EXPECT_EQ(got.explicitFrequency, c.want.explicitFrequency);
        EXPECT_EQ(got.channelConfiguration, c.want.channelConfiguration);
    }
}

TEST(Dec3, DataRateIsTheFirstThirteenBits) {
    std::uint32_t rate = 0;
    ASSERT_TRUE(mp4::parseDec3DataRate(spanOf(u16((640u << 3) | 1) + bytes({0x20, 0x0F, 0x00})), rate));
    EXPECT_EQ(rate, 640u);
    EXPECT_FALSE(mp4::parseDec3DataRate(spanOf(bytes({0x50})), rate));
}

namespace {

struct RefusedRecord {
    const char* name;
    bool hevc;
    std::vector<std::string> units;
};
void PrintTo(const RefusedRecord& c, std::ostream* os) { *os << c.name; }
class RecordWriterRefuses : public ::testing::TestWithParam<RefusedRecord> {};

// A Baseline SPS of id 0, and H.265 units by their header's type.
const std::string kAvcSps = bytes({0x67, 0x42, 0x00, 0x1E, 0x80}), kAvcPps = bytes({0x68, 0xCE});
const std::string kVps = bytes({0x40, 0x01, 0x0C}), kHevcPps = bytes({0x44, 0x01, 0xC1});

}  // namespace

// A record that would read back wrong is never written.
TEST_P(RecordWriterRefuses, ParameterSetsThatMakeNoRecord) {
    const RefusedRecord& c = GetParam();
    std::vector<mp4::ByteSpan> units;
    for (const std::string& u : c.units) units.push_back(spanOf(u));
    std::vector<std::uint8_t> record;
    EXPECT_FALSE(c.hevc ? mp4::writeHevcConfig(units, record) : mp4::writeAvcConfig(units, record));
    EXPECT_TRUE(record.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Units, RecordWriterRefuses,
    ::testing::Values(RefusedRecord{"avc_without_pps", false, {kAvcSps}},
                      RefusedRecord{"avc_without_sps", false, {kAvcPps}},
                      RefusedRecord{"avc_slice_among_them", false, {kAvcSps, kAvcPps, bytes({0x65, 0x88})}},
                      RefusedRecord{"avc_sps_cut_before_its_id", false, {bytes({0x67, 0x42, 0x00}), kAvcPps}},
                      RefusedRecord{"avc_unit_past_16_bit_length", false, {kAvcSps, u8(0x68) + zeros(70000)}},
                      RefusedRecord{"avc_32_sps", false, [] {
                                        std::vector<std::string> u(32, kAvcSps);
                                        u.push_back(kAvcPps);
                                        return u;
                                    }()},
                      RefusedRecord{"hevc_without_vps", true, {bytes({0x42, 0x01, 0x01}), kHevcPps}},
                      // Seven sub-layers at most: a count of 8 is no SPS.
                      RefusedRecord{"hevc_sps_of_eight_sub_layers", true,
                                    {kVps, bytes({0x42, 0x01, 0x0E}) + zeros(40), kHevcPps}},
                      RefusedRecord{"hevc_sps_cut_in_its_profile", true, {kVps, bytes({0x42, 0x01, 0x01, 0x60}), kHevcPps}}),
    [](const auto& info) { return std::string(info.param.name); });
