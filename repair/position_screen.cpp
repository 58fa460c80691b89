#include "repair/position_screen.h"

#include <algorithm>

#include "mp4/fourcc_text.h"
#include "mp4/nal_header.h"
#include "repair/packet_checks.h"

namespace {

using mp4::fourcc;

// First words that a special-packet rule or the delimiter test names (the rule may test more).
constexpr std::uint32_t kFirstWords[] = {
    2,                                                       // access unit delimiter length
    0x01FE3030,                                              // DJI OSMO record
    0x00080100,                                              // Sony records
    0x47500001, 0x47500002, 0x47500003, 0x47500301,          // Ambarella records
    0x47500400, 0x47500500, 0x47500600, 0x00072020,
    100,        0x68,       0x88,       8,                   // iPhone records
    0x04000035, 0x04008032, 0x04006040, 0x04005040, 0x04007041,  // Canon records
    0x04002041, 0x04009034, 0x04008040, 0x04004042, 0x02003039,
    fourcc("repi"),
};

// Second words that a rule tests on their own: vendor records and the boxes of the special-packet
// rules (the container boxes come from their test).
constexpr std::uint32_t kSecondWords[] = {
    fourcc("moof"), fourcc("mdat"), fourcc("RVFR"), fourcc("RVPT"), fourcc("RTMC"),
    fourcc("RVID"), fourcc("RAUD"), fourcc("cinf"), fourcc("rtmd"),
};

}  // namespace

void PositionScreen::WordSet::assign(std::vector<std::uint32_t> words) {
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    upper_.fill(0);
    for (std::uint32_t w : words) upper_[w >> 22] |= std::uint64_t(1) << ((w >> 16) & 63);
    words_ = std::move(words);
}

bool PositionScreen::WordSet::holdsExactly(std::uint32_t word) const {
    return std::binary_search(words_.begin(), words_.end(), word);
}

void PositionScreen::updateHeaderLengths() {
    for (int h = 0; h < 256; ++h)
        longestByHeader_[std::size_t(h)] = (h & 0x80) != 0 ? 0 : maxSize_[mp4::nalTypeOf(std::uint8_t(h), hevc_)];
}

void PositionScreen::build(const AnalysisResult& analysis, const PresetTraits& preset, bool hevc) {
    hevc_ = hevc;
    for (int type = 0; type < kNalTypeCount; ++type) maxSize_[type] = analysis.nalStats[std::size_t(type)].maxSize;
    crecWord_ = preset.iphone;
    updateHeaderLengths();

    std::vector<std::uint32_t> first(std::begin(kFirstWords), std::end(kFirstWords));
    // Samples of the reference's camera tracks are known by their first word.
    for (const TrackRecord& track : analysis.tracks) {
        if (track.typeIndex == 1 || track.typeIndex == 2) continue;
        for (const SampleSignature& s : track.sampleSignatures) first.push_back(s.value);
    }
    w0Words_.assign(std::move(first));
    std::vector<std::uint32_t> second = containerBoxCodes();
    second.insert(second.end(), std::begin(kSecondWords), std::end(kSecondWords));
    w1Words_.assign(std::move(second));
}
