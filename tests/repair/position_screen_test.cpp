#include "repair/position_screen.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "mp4/byte_order.h"
#include "mp4/fourcc_text.h"
#include "mp4/nal_header.h"
#include "repair/camera_rules.h"
#include "repair/packet_checks.h"
#include "repair/special_packets.h"
#include "tests/repair/nal_entry.h"

namespace {

using mp4::fourcc;

// A reference completed by the camera rules, with two camera tracks whose samples are known.
AnalysisResult reference(const std::string& preset, bool hevc) {
    AnalysisResult r;
    TrackRecord video;
    video.typeIndex = 2;
    video.sampleDescCoding = hevc ? "H.265" : "H.264";
    r.tracks.push_back(video);
    TrackRecord timecode;
    timecode.typeIndex = 3;
    timecode.sampleDescCoding = "tmcd";
    timecode.sampleSignatures = {{16, 0x00000010u}, {24, 0x5A5A0001u}};
    r.tracks.push_back(timecode);
    TrackRecord metadata;
    metadata.typeIndex = 4;
    metadata.sampleDescCoding = "gpmd";
    metadata.sampleSignatures = {{400, 0x44455643u}};
    r.tracks.push_back(metadata);
    r.trackCount = 3;
    r.nalStats[1] = nalEntry(100, 60000, 1, {0x419A});
    std::ostringstream ignored;
    applyCameraRules(r, preset, hevc, ignored);
    return r;
}

// Media-like bytes rich in what the detectors look for: the words they name, counting runs,
// repeated words, small lengths, and noise, at every byte alignment.
std::vector<std::uint8_t> trickyBytes(std::uint32_t seed) {
    const std::uint32_t named[] = {2, 0x01FE3030, 0x20303020, 0x00080100, 0x000000B8, 0x00AD034B, 0x47500001,
                                   0x47500301, 0x47500400, 0x47500500, 0x47500600, 0x00072020, 0x20202020,
                                   100, 0x68, 0x88, 8, 1, 0, 0xFFFFFFFF, 0x04008040, 0x02003039,
                                   fourcc("repi"), fourcc("tmcd"), fourcc("moof"), fourcc("mfhd"), fourcc("mdat"),
                                   fourcc("RVFR"), fourcc("RVID"), fourcc("cinf"), fourcc("rtmd"), fourcc("crec"),
                                   fourcc("free"), fourcc("ftyp"), fourcc("wide"), 0x00000010, 0x5A5A0001,
                                   0x44455643, 0x0910419A, 0x00000300};
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes;
    std::uint32_t last = 0;
    while (bytes.size() < 60000) {
        std::uint32_t word = 0;
        switch (random() % 6) {
            case 0: word = last + 1; break;
            case 1: word = last; break;
            case 2: word = random() % 70000; break;
            case 3: word = random(); break;
            default: word = named[random() % (sizeof named / sizeof named[0])];
        }
        last = word;
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(std::uint8_t(word >> shift));
        if (random() % 7 == 0) bytes.push_back(std::uint8_t(random()));  // shifts the alignment
    }
    return bytes;
}

struct ScreenCase {
    const char* name;
    const char* preset;
    bool hevc;
};

void PrintTo(const ScreenCase& c, std::ostream* os) { *os << c.name; }

class PositionScreenTest : public ::testing::TestWithParam<ScreenCase> {};

// The screen may only turn away positions at which no detector of the scan finds anything.
TEST_P(PositionScreenTest, TurnsAwayOnlyPositionsWhereNothingStarts) {
    const ScreenCase& c = GetParam();
    const AnalysisResult analysis = reference(c.preset, c.hevc);
    const PresetTraits preset = PresetTraits::fromName(c.preset);
    PositionScreen screen;
    screen.build(analysis, preset, c.hevc);
    const CameraTrackTable cameraTracks(analysis);
    const std::vector<std::uint8_t> bytes = trickyBytes(7);
    const auto valid = static_cast<std::int64_t>(bytes.size());
    int found = 0;
    int turnedAway = 0;
    for (std::int64_t p = 0; p + PositionScreen::kBytes <= valid; ++p) {
        const std::uint8_t* b = bytes.data() + p;
        const std::uint32_t length = mp4::be32(b);
        AtomCheck atom;
        specificAtomsChecker(bytes.data(), valid, p, length, preset, AtomsVariant::Repair, atom);
        std::uint32_t code = 0;
        std::int64_t skip = 0;
        std::string tag;
        const int type = mp4::nalTypeOf(b[4], c.hevc);
        const std::uint32_t max = analysis.nalStats[std::size_t(type)].maxSize;
        const bool something = atom.skip != 0 || atom.announcedJunk != -1 || isAudPacket(bytes.data(), valid, p) ||
                               isContainerBox(bytes.data(), valid, p, code) ||
                               cameraAtomRules(bytes.data(), valid, p, length, cameraTracks, preset, ScanValues{}, skip, tag) ||
                               (length != 0 && (b[4] & 0x80) == 0 && length <= max);
        found += something;
        if (screen.mayStart(b)) continue;
        ++turnedAway;
        ASSERT_FALSE(something) << "turned away at " << p;
    }
    EXPECT_GT(found, 1000) << "the bytes exercise the detectors";
    EXPECT_GT(turnedAway, 1000) << "the screen turns positions away";
}

INSTANTIATE_TEST_SUITE_P(Presets, PositionScreenTest,
                         ::testing::Values(ScreenCase{"no_name", "", false}, ScreenCase{"sony", "sony a7", false},
                                           ScreenCase{"sony_psp", "sony_psp", false},
                                           ScreenCase{"ambarella", "ambarella", false},
                                           ScreenCase{"gopro_h265", "gopro hero 5", true},
                                           ScreenCase{"jvc", "jvc gy", false},
                                           ScreenCase{"panasonic", "panasonic gh5", false},
                                           ScreenCase{"iphone", "iphone 12", false},
                                           ScreenCase{"canon", "canon eos 70d", false},
                                           ScreenCase{"h265", "", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
