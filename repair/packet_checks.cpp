#include "repair/packet_checks.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "mp4/byte_order.h"
#include "mp4/fourcc_text.h"
#include "mp4/nal_header.h"
#include "repair/nal_first_test.h"
#include "repair/special_packets.h"

namespace {

using mp4::fourcc;

bool fits(std::int64_t valid, std::int64_t pos, std::int64_t count) {
    return pos >= 0 && count >= 0 && pos <= valid - count;
}

struct BoxType {
    std::uint32_t code;
    const char* name;
};
constexpr BoxType kBoxTypes[] = {
    {fourcc("free"), "free"}, {fourcc("ftyp"), "ftyp"}, {fourcc("hoov"), "hoov"}, {fourcc("ibak"), "ibak"},
    {fourcc("iidx"), "iidx"}, {fourcc("mdia"), "mdia"}, {fourcc("meta"), "meta"}, {fourcc("moov"), "moov"},
    {fourcc("mvex"), "mvex"}, {fourcc("skip"), "skip"}, {fourcc("trak"), "trak"}, {fourcc("udta"), "udta"},
    {fourcc("wide"), "wide"},
};

const BoxType* findBox(std::uint32_t code) {
    for (const BoxType& box : kBoxTypes)
        if (box.code == code) return &box;
    return nullptr;
}

constexpr std::uint32_t kCanonSliceWords[] = {
    0x619A20, 0x619A40, 0x619A60, 0x619A80, 0x619AA0, 0x619AC0, 0x619AE0, 0x619B00, 0x619B20, 0x619B40,
    0x619B60, 0x619B80, 0x619BA0, 0x619BC0, 0x019E39, 0x019E3D, 0x219A2C, 0x019E45, 0x019E49, 0x219A58,
    0x019E71, 0x019E75, 0x219A64, 0x019E9D, 0x019E81, 0x219A24, 0x219A90, 0x019EA9, 0x019EAD, 0x219ABC,
    0x019ED5, 0x019ED9, 0x219AC8, 0x019EE1, 0x019EE5, 0x219AF4, 0x019F0D, 0x019F11, 0x219B00, 0x019F39,
    0x019F3D, 0x219B2C, 0x019F45, 0x019F49, 0x219A7C, 0x219AEC, 0x219AC0, 0x219AE4, 0x219A80, 0x01003F,
    0x01001F, 0x01000B, 0x21003F, 0x21001F, 0x21000B, 0x219B18, 0x219B3C, 0x002199, 0x00219A, 0x00219B,
    0x00219C,
};

constexpr const char* kSpecificAtoms = "true (specific atoms)";
constexpr const char* kClassicPacket = "true (classic packet)";
constexpr const char* kRefused = "false";

// Examines the packet whose length word starts at buffer position `next`.
bool checkPacketAt(const ScanSource& src, std::int64_t next, const AnalysisResult& analysis,
                   const CameraTrackTable& cameraTracks, const PresetTraits& preset, const ScanValues& scan,
                   VideoCoding video, std::string& result) {
    result = kNextPacketChecked;

    // The next packet starts within the last 999 bytes of the data (or past them): the candidate
    // is accepted unchecked. Counted to the end of the file, not of the buffer, so that the answer
    // never depends on where a chunk ends.
    if (src.remaining(next) < kLookAheadBytes) return true;

    std::array<std::uint8_t, kLookAheadBytes> block;
    const std::int64_t got = src.copy(next, block.data(), kLookAheadBytes);
    // Unreadable past the buffer: nothing to judge by, as at the end of the data.
    if (got < kLookAheadBytes) return true;

    const std::uint32_t nextLength = mp4::be32(block.data());

    AtomCheck atoms;
    specificAtomsChecker(block.data(), got, 0, nextLength, preset, AtomsVariant::Repair, atoms);
    std::uint32_t code = 0;
    std::int64_t skip = 0;
    std::string tag;
    if (atoms.skip > 0 || isAudPacket(block.data(), got, 0) || isContainerBox(block.data(), got, 0, code) ||
        cameraAtomRules(block.data(), got, 0, nextLength, cameraTracks, preset, scan, skip, tag, true)) {
        result += kSpecificAtoms;
        return true;
    }

    const std::uint8_t b = block[4];
    const bool hevc = video == VideoCoding::H265;
    const int type = mp4::nalTypeOf(b, hevc);
    const NalTypeStats& entry = analysis.nalStats[std::size_t(type)];
    if (nextLength == 0 || (b & 0x80) || entry.maxSize < 1) {
        result += kRefused;
        return false;
    }
    const bool listed = entry.headerWords.contains(mp4::headerWordOf(block.data() + 4, type, hevc));
    const bool canonWord = !listed && carriesCanonSliceWord(preset, type, block.data() + 4);
    // A word the entry does not list refuses without a verdict.
    if (!listed && !canonWord) return false;
    if (passesFirstTest(entry, type, hevc, listed, canonWord, nextLength)) {
        result += kClassicPacket;
        return true;
    }
    result += kRefused;
    return false;
}

}  // namespace

std::int64_t findMdat(const std::uint8_t* buf, std::int64_t length) {
    const std::int64_t n = std::min(length, kMdatSearchLimit);
    if (!buf || n < 5) return 0;
    for (std::int64_t p = 0; p <= n - 5; ++p) {
        const void* hit = std::memchr(buf + p, 'm', std::size_t(n - 4 - p));
        if (!hit) return 0;
        p = static_cast<const std::uint8_t*>(hit) - buf;
        if (std::memcmp(buf + p, "mdat", 4) == 0) return p + 4;
    }
    return 0;
}

bool isAudPacket(const std::uint8_t* buf, std::int64_t valid, std::int64_t pos) {
    if (!buf || !fits(valid, pos, 6)) return false;
    const std::uint8_t* b = buf + pos;
    if (b[0] != 0 || b[1] != 0 || b[2] != 0 || b[3] != 2 || b[4] != 0x09) return false;
    return b[5] == 0x10 || b[5] == 0x30 || b[5] == 0x50;
}

bool isContainerBox(const std::uint8_t* buf, std::int64_t valid, std::int64_t pos, std::uint32_t& code) {
    code = 0;
    if (!buf || !fits(valid, pos, 8)) return false;
    code = mp4::be32(buf + pos + 4);
    return findBox(code) != nullptr;
}

const char* boxTypeName(std::uint32_t code) {
    const BoxType* box = findBox(code);
    return box ? box->name : "unknown";
}

std::vector<std::uint32_t> containerBoxCodes() {
    std::vector<std::uint32_t> codes;
    for (const BoxType& box : kBoxTypes) codes.push_back(box.code);
    return codes;
}

bool isCanonSliceWord(std::uint32_t word24) {
    return std::find(std::begin(kCanonSliceWords), std::end(kCanonSliceWords), word24) != std::end(kCanonSliceWords);
}

bool cameraAtomRules(const std::uint8_t* buf, std::int64_t valid, std::int64_t pos, std::uint32_t lengthWord,
                     const CameraTrackTable& tracks, const PresetTraits& preset, const ScanValues& scan,
                     std::int64_t& skip, std::string& tag, bool signatureOnly) {
    for (const CameraTrackCandidate& track : tracks.candidates(lengthWord)) {
        std::int64_t matched = 0;
        if (track.kind == CameraTrackKind::Gpmd) {
            if (signatureOnly) {
                matched = std::max<std::int64_t>(track.size, 1);
            } else {
                // The sample's size stands in the word 12 bytes before it.
                if (!buf || pos < 12 || !fits(valid, pos - 12, 4)) continue;
                matched = std::int64_t(mp4::be32(buf + pos - 12)) + 16;
            }
        } else {
            if (track.kind == CameraTrackKind::Timecode && preset.skipsTimecodeTrack()) continue;
            if (preset.yieldsToShortJunk() && scan.junkRunLength > 0 && scan.junkRunLength < scan.chunkSampleCount &&
                scan.sharedFlag)
                continue;
            matched = track.size;
        }
        if (matched > 0) {
            skip = matched;
            tag = track.tag;
            return true;
        }
    }
    return false;
}

bool checkNextPacket(const ScanSource& src, std::int64_t pos, std::int64_t candidateLength,
                     const AnalysisResult& analysis, const CameraTrackTable& cameraTracks, const PresetTraits& preset,
                     const ScanValues& scan, VideoCoding video, std::string& result) {
    return checkPacketAt(src, pos + 4 + candidateLength, analysis, cameraTracks, preset, scan, video, result);
}

bool checkAfterSpecialPacket(const ScanSource& src, std::int64_t pos, std::int64_t skip,
                             const AnalysisResult& analysis, const CameraTrackTable& cameraTracks,
                             const PresetTraits& preset, const ScanValues& scan, VideoCoding video, std::string& result) {
    return checkPacketAt(src, pos + skip, analysis, cameraTracks, preset, scan, video, result);
}
