#include "repair/candidate_judge.h"

#include <algorithm>
#include <vector>

#include "media/start_codes.h"
#include "mp4/byte_order.h"
#include "mp4/nal_header.h"
#include "repair/nal_first_test.h"
#include "repair/repair_run.h"

namespace {

// Bytes of a unit the slice-header check reads.
constexpr std::int64_t kSliceHeaderBytes = 96;
// The shortest slice that can hold a header.
constexpr std::uint32_t kShortestSlice = 3;
// A unit of a type the rules leave to the reference may be this many times its largest.
constexpr std::uint64_t kBeyondMeasuredFactor = 2;
// The longest SEI taken beyond the reference's own sizes.
constexpr std::uint32_t kLongestSei = 64 * 1024;
// How far apart two pictures' order counts may lie in decoding order.
constexpr std::uint32_t kPocWindow = 32;
// Bytes of the file read at once when a search runs past the buffer.
constexpr std::int64_t kSearchPiece = 1 << 20;
// The bytes a packet test reads from its position.
constexpr std::int64_t kTestBytes = 128;

bool isSeiType(int type, bool hevc) { return hevc ? type == 39 || type == 40 : type == 6; }

// The first position of [from, to) of `view` (buffer positions, read past the buffer from the
// file) that the screen lets through and `test` accepts, or -1. `test` gets the position, its
// bytes and how many of them are readable.
template <typename Test>
std::int64_t firstScreened(const ScanSource& view, const PositionScreen& screen, std::int64_t from, std::int64_t to,
                           Test test) {
    const std::int64_t fileEnd = view.base + view.remaining(0);
    to = std::min(to, fileEnd - view.base);
    std::vector<std::uint8_t> piece;
    for (std::int64_t at = from; at < to;) {
        const std::uint8_t* bytes = nullptr;
        std::int64_t readable = 0;
        std::int64_t end = 0;
        if (view.inBuffer(at, PositionScreen::kBytes)) {
            bytes = view.data + at;
            readable = view.valid - at;
            end = std::min(to, view.valid - PositionScreen::kBytes + 1);
        } else {
            const std::int64_t count = std::min(kSearchPiece, to - at) + kTestBytes;
            piece.resize(std::size_t(count));
            readable = view.copy(at, piece.data(), count);
            if (readable <= 0) return -1;
            bytes = piece.data();
            // Near the end of the file the last bytes are tested too.
            end = std::min(to, at + (readable > kTestBytes ? readable - kTestBytes : readable));
        }
        for (std::int64_t q = at; q < end; ++q) {
            const std::uint8_t* b = bytes + (q - at);
            const std::int64_t left = readable - (q - at);
            if (left >= PositionScreen::kBytes && !screen.mayStart(b)) continue;
            if (test(q, b, left)) return q;
        }
        at = end;
    }
    return -1;
}

// The bytes the packet tests read at buffer position q of `view`: in place, or copied into `block`
// where they lie past the buffer. Returns how many can be read there (0 or less at the end).
std::int64_t testBytesAt(const ScanSource& view, std::int64_t q, std::uint8_t (&block)[kTestBytes],
                         const std::uint8_t*& b) {
    const std::int64_t left = view.remaining(q);
    if (left <= 0) return left;
    if (view.inBuffer(q, std::min(left, kTestBytes))) {
        b = view.data + q;
        return view.valid - q;
    }
    b = block;
    return view.copy(q, block, std::min(left, kTestBytes));
}

}  // namespace

CandidateJudge::CandidateJudge(const RepairRun& run) : run_(run), hevc_(run.hevc()) {
    for (int type = 0; type < kNalTypeCount; ++type) {
        const int shift = 8 * (mp4::headerWordBytes(type, hevc_) - 1);
        for (const std::uint32_t word : run.analysis.nalStats[std::size_t(type)].headerWords)
            headerBytes_[std::size_t(type)].set((word >> shift) & 0xFF);
    }
    for (int type = 0; type < kNalTypeCount; ++type)
        if (mp4::isPictureType(type, hevc_)) longestPicture_ = std::max(longestPicture_, longestAdmitted(type));
    screen_.build(run.analysis, run.preset, hevc_);
    std::array<std::uint32_t, kNalTypeCount> longest{};
    for (int type = 0; type < kNalTypeCount; ++type)
        longest[std::size_t(type)] = std::uint32_t(std::min<std::uint64_t>(longestAdmitted(type), UINT32_MAX));
    screen_.allowLengths(longest);
}

std::uint64_t CandidateJudge::longestAdmitted(int type) const {
    const NalTypeStats& entry = run_.analysis.nalStats[std::size_t(type)];
    const MeasuredRange& measured = run_.measured[std::size_t(type)];
    std::uint64_t longest =
        std::max<std::uint64_t>(entry.maxSize, measured.setByRules ? measured.maxSize
                                                                   : kBeyondMeasuredFactor * measured.maxSize);
    // Slices of a type the reference never showed may be as long as its other pictures.
    if (mp4::isPictureType(type, hevc_) && run_.slices.usable() && entry.maxSize == 0 && measured.maxSize == 0)
        longest = std::max(longest, longestPicture_);
    if (isSeiType(type, hevc_)) longest = std::max<std::uint64_t>(longest, kLongestSei);
    return longest;
}

bool CandidateJudge::listed(const std::uint8_t* unit, std::int64_t avail, int type) const {
    const int bytes = mp4::headerWordBytes(type, hevc_);
    if (avail < bytes) return false;
    if (run_.words.holds(type, mp4::headerWordOf(unit, type, hevc_))) return true;
    return !hevc_ && avail >= 3 && carriesCanonSliceWord(run_.preset, type, unit);
}

Candidate CandidateJudge::judge(const std::uint8_t* b, std::int64_t avail) const {
    Candidate c;
    if (avail < 8) return c;
    c.length = mp4::be32(b);
    if (c.length == 0 || (b[4] & 0x80) != 0) return c;
    c.type = mp4::nalTypeOf(b[4], hevc_);
    c.picture = mp4::isPictureType(c.type, hevc_);
    c.admission = c.picture ? admitSlice(b + 4, avail - 4, c) : admitOther(b + 4, avail - 4, c);
    return c;
}

Admission CandidateJudge::admitSlice(const std::uint8_t* unit, std::int64_t avail, Candidate& c) const {
    const NalTypeStats& entry = run_.analysis.nalStats[std::size_t(c.type)];
    const MeasuredRange& measured = run_.measured[std::size_t(c.type)];
    const bool known = entry.maxSize > 0 && listed(unit, avail, c.type);
    const std::int64_t headerBytes = std::min<std::int64_t>(c.length, kSliceHeaderBytes);
    if (run_.slices.usable()) {
        c.headerRead = avail >= headerBytes;
        c.parsed = run_.slices.parses(unit, std::min(avail, headerBytes), &c.slice);
    }
    if (!known) {
        if (entry.maxSize == 0 && measured.maxSize == 0 && !run_.slices.usable()) return Admission::Refused;
        // A slice known by its header alone: the same NAL header byte as the reference's slices
        // of its type, or any when the reference showed none of them.
        const std::bitset<256>& bytes = headerBytes_[std::size_t(c.type)];
        if (!c.parsed || !(bytes.test(unit[0]) || bytes.none())) return Admission::Refused;
    }
    const Admission ranged = byRanges(c, known);
    if (ranged != Admission::Refused || !c.parsed) return ranged;
    // Pictures the ranges do not cover: far smaller than the reference's (a still scene against
    // a moving reference), or of a type it never showed (an open GOP's CRA and leading pictures
    // behind a reference of one IDR picture). Their header parses; what follows must confirm them.
    std::uint32_t least = UINT32_MAX;
    if (entry.maxSize > 0) least = firstTestMinimum(entry, c.type, hevc_);
    if (measured.maxSize > 0) least = std::min(least, measured.minSize / 2);
    if (c.length >= kShortestSlice && c.length < least) return Admission::Confirm;
    if (c.length <= longestAdmitted(c.type)) {
        c.beyondMeasured = true;
        return Admission::Confirm;
    }
    return Admission::Refused;
}

Admission CandidateJudge::admitOther(const std::uint8_t* unit, std::int64_t avail, Candidate& c) const {
    // Parameter sets repeated in the stream as the reference has them are its own.
    if (mp4::isParameterSetType(c.type, hevc_) && c.length <= avail &&
        run_.slices.isReferenceParameterSet(unit, c.length))
        return Admission::Firm;
    const NalTypeStats& entry = run_.analysis.nalStats[std::size_t(c.type)];
    bool known = entry.maxSize > 0 && listed(unit, avail, c.type);
    if (!known && isSeiType(c.type, hevc_) && avail >= 2) {
        // An SEI of another payload type than the reference's shows its NAL header all the same.
        const int shift = 8 * (mp4::headerWordBytes(c.type, hevc_) - 2);
        const std::uint32_t header = mp4::be16(unit);
        known = std::any_of(entry.headerWords.begin(), entry.headerWords.end(),
                            [&](std::uint32_t word) { return (word >> shift) == header; });
        if (!known) return Admission::Refused;
        const Admission ranged = byRanges(c, false);
        return ranged == Admission::Refused && c.length <= kLongestSei ? Admission::Confirm : ranged;
    }
    if (!known) return Admission::Refused;
    const Admission ranged = byRanges(c, true);
    if (ranged == Admission::Refused && isSeiType(c.type, hevc_) && c.length <= kLongestSei) {
        c.beyondMeasured = true;
        return Admission::Confirm;
    }
    return ranged;
}

Admission CandidateJudge::byRanges(Candidate& c, bool known) const {
    const NalTypeStats& entry = run_.analysis.nalStats[std::size_t(c.type)];
    const MeasuredRange& measured = run_.measured[std::size_t(c.type)];
    const bool halved = halvesMinimum(c.type, hevc_);
    auto within = [&](std::uint32_t min, std::uint32_t max) {
        return max > 0 && c.length >= (halved ? min / 2 : min) && c.length <= max;
    };
    // What the reference showed is never refused, whatever a fixed rule says: the accepted range
    // spans both.
    if (within(measured.minSize, measured.maxSize)) return Admission::Firm;
    c.beyondMeasured = measured.maxSize > 0 && c.length > measured.maxSize;
    const bool both = measured.maxSize > 0 && entry.maxSize > 0;
    if (within(both ? std::min(entry.minSize, measured.minSize) : entry.minSize,
               both ? std::max(entry.maxSize, measured.maxSize) : entry.maxSize)) {
        // A fixed range from 0 admits any short length word of the type's header, and a slice
        // known by its header alone has only the reference's sizes behind it: beyond what the
        // reference showed, such candidates must be confirmed.
        // A rule's range far beyond what the reference showed is a bound, not a sample of the
        // stream: a unit that long must be confirmed as well.
        const bool farBeyond = measured.maxSize > 0 &&
                               std::uint64_t(c.length) > kBeyondMeasuredFactor * std::uint64_t(measured.maxSize);
        return known && !farBeyond && !(measured.setByRules && entry.minSize == 0) ? Admission::Firm
                                                                                   : Admission::Confirm;
    }
    if (!measured.setByRules && measured.maxSize > 0 &&
        std::uint64_t(c.length) <= kBeyondMeasuredFactor * std::uint64_t(measured.maxSize))
        return Admission::Confirm;
    return Admission::Refused;
}

bool CandidateJudge::packetOtherThanUnitAt(const std::uint8_t* data, std::int64_t valid, std::int64_t q,
                                           AtomCheck& atom) const {
    const std::uint32_t word = mp4::be32(data + q);
    std::uint32_t code = 0;
    if (isAudPacket(data, valid, q) || isContainerBox(data, valid, q, code) ||
        !run_.cameraTracks.candidates(word).empty())
        return true;
    specificAtomsChecker(data, valid, q, word, run_.preset, AtomsVariant::Repair, atom);
    return atom.skip != 0;
}

std::int64_t CandidateJudge::firmPacketAt(const std::uint8_t* b, std::int64_t avail) const {
    if (avail < 8) return 0;
    if (isAudPacket(b, avail, 0)) return 6;
    std::uint32_t code = 0;
    const std::uint32_t word = mp4::be32(b);
    if (isContainerBox(b, avail, 0, code)) return word >= 8 && word < 0xFFFFFF ? word : 0;
    for (const CameraTrackCandidate& track : run_.cameraTracks.candidates(word))
        if (track.kind != CameraTrackKind::Gpmd && track.size > 0) return track.size;
    AtomCheck atom;
    specificAtomsChecker(b, avail, 0, word, run_.preset, AtomsVariant::Repair, atom);
    if (atom.skip > 0) return atom.skip;
    const Candidate c = judge(b, avail);
    if (c.admission != Admission::Firm) return 0;
    // A NAL unit never holds 00 00 00, 00 00 01 or 00 00 02.
    const std::size_t readable = std::size_t(std::min<std::int64_t>(avail - 4, c.length));
    if (nextForbiddenZeros(b + 4, readable) != readable) return 0;
    return 4 + std::int64_t(c.length);
}

bool CandidateJudge::recognisedAt(const ScanSource& view, std::int64_t q, bool anyUnit) const {
    const std::int64_t left = view.remaining(q);
    if (left == 0) return true;  // the end of the data
    std::uint8_t block[kTestBytes];
    const std::uint8_t* b = nullptr;
    const std::int64_t avail = testBytesAt(view, q, block, b);
    if (avail <= 0) return false;
    if (firmPacketAt(b, avail) > 0) return true;
    return anyUnit && judge(b, avail).admission != Admission::Refused;
}

bool CandidateJudge::chainAt(const ScanSource& view, std::int64_t q) const {
    std::uint8_t block[kTestBytes];
    const std::uint8_t* b = nullptr;
    const std::int64_t avail = testBytesAt(view, q, block, b);
    const std::int64_t length = avail >= 8 ? firmPacketAt(b, avail) : 0;
    if (length <= 0) return false;
    const std::int64_t next = q + length;
    return recognisedAt(view, next, false) || soundThenStream(view, next);
}

bool CandidateJudge::chainWithin(const ScanSource& view, std::int64_t from, std::int64_t to) const {
    const std::int64_t absFrom = view.base + from;
    const bool toTheEnd = view.remaining(to) <= 0;
    if (toTheEnd && chainSearchFrom_ >= 0 && absFrom >= chainSearchFrom_ &&
        (chainFoundAt_ < 0 || absFrom <= chainFoundAt_))
        return chainFoundAt_ >= 0 && chainFoundAt_ < view.base + to;
    const std::int64_t found = firstScreened(view, screen_, from, to, [&](std::int64_t q, const std::uint8_t*,
                                                                          std::int64_t) { return chainAt(view, q); });
    if (toTheEnd) {
        chainSearchFrom_ = absFrom;
        chainFoundAt_ = found < 0 ? -1 : view.base + found;
    }
    return found >= 0;
}

bool CandidateJudge::soundThenStream(const ScanSource& view, std::int64_t n) const {
    if (run_.formats.audio == AudioCoding::None) return false;
    const std::int64_t bound = soundRunBound(run_.audio);
    const std::int64_t left = view.remaining(n);
    std::int64_t m = firstScreened(view, screen_, n + 1, n + 1 + bound,
                                   [&](std::int64_t q, const std::uint8_t*, std::int64_t) {
                                       return recognisedAt(view, q, true);
                                   });
    if (m < 0) {
        if (left > bound) return false;
        m = n + left;  // sound up to the end of the data
    }
    std::uint8_t start[kTestBytes];
    const std::int64_t got = view.copy(n, start, std::min<std::int64_t>(kTestBytes, m - n));
    return got > 0 && plausibleSoundRun(run_.media, run_.formats, run_.audio, start, got, m - n);
}

bool CandidateJudge::confirmedByNext(const ScanSource& view, std::int64_t p, const Candidate& c,
                                     const ScanValues& scan, bool sound, std::string& text) const {
    const std::int64_t next = p + 4 + std::int64_t(c.length);
    const std::int64_t left = view.remaining(next);
    if (left == 0) return true;  // the unit ends the data
    if (left < 0) return false;
    if (checkNextPacket(view, p, c.length, run_.analysis, run_.cameraTracks, run_.preset, scan, run_.formats.video,
                        text) &&
        (!sound || left >= kLookAheadBytes))
        return true;
    if (recognisedAt(view, next, sound)) return true;
    return sound && soundThenStream(view, next);
}

bool CandidateJudge::continuesStream(const SliceInfo& slice) const {
    if (slice.hasFrameNum) {
        if (!haveFrameNum_ || slice.frameNumBits <= 0 || slice.frameNumBits > 16) return false;
        if (slice.intraRandomAccess) return slice.frameNum == 0;
        const std::uint32_t modulus = 1u << slice.frameNumBits;
        return slice.frameNum == frameNum_ || slice.frameNum == (frameNum_ + 1) % modulus;
    }
    if (slice.hasPocLsb && havePoc_ && slice.pocLsbBits > 0 && slice.pocLsbBits <= 16) {
        const std::uint32_t modulus = 1u << slice.pocLsbBits;
        const std::uint32_t ahead = (slice.pocLsb - pocLsb_) % modulus;
        return std::min(ahead, modulus - ahead) <= kPocWindow;
    }
    return false;
}

void CandidateJudge::noteTaken(const Candidate& c) {
    // Only headers that were tried tell whether the stream's slices parse.
    if (!c.headerRead) return;
    ++takenSlices_;
    if (!c.parsed) return;
    ++parsedSlices_;
    if (c.slice.hasFrameNum) {
        haveFrameNum_ = true;
        frameNum_ = c.slice.frameNum;
    } else if (c.slice.hasPocLsb) {
        havePoc_ = true;
        pocLsb_ = c.slice.pocLsb;
    }
}
