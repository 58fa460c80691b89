#include "repair/scan_loop.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <string>
#include <vector>

#include "repair/big_endian.h"
#include "repair/live_preview.h"
#include "repair/packet_checks.h"
#include "repair/position_screen.h"
#include "repair/progress_rule.h"
#include "repair/read_buffer.h"
#include "repair/repair_run.h"
#include "repair/special_packets.h"

namespace {

constexpr std::int64_t kJunkLimit = 0x2000000;          // 32 MiB
constexpr std::int64_t kAudioLimit = 0xC800000;         // 200 MiB
constexpr std::int64_t kVideoLimit = 0x5FFFFFFF;        // about 1.5 GiB
constexpr std::int64_t kConfirmAboveJunk = 50;
constexpr std::uint32_t kBoxLengthLimit = 0xFFFFFF;
constexpr std::int64_t kHistoryBytes = 16;              // kept before the position for look-behinds
constexpr std::int64_t kCopyPiece = 1 << 20;
constexpr std::int64_t kPreviewExtraLimit = 32 << 20;
constexpr std::uint8_t kStartCode[4] = {0, 0, 0, 1};

// Junk lengths of the usual PCM chunk sizes: a special packet after them needs no confirmation.
constexpr std::int64_t kPcmRunLengths[] = {96096, 96000, 6144, 18432, 64000, 184320, 192192, 99840, 92160, 96256};
// Tags of packets recognised firmly enough to need no confirmation.
constexpr const char* kFirmTags[] = {"Suite", "AMBARELLA", "AtomSpecific", "moof", "mdat"};
// Types whose candidates the packet-list pattern may mark unconfirmed.
constexpr std::uint64_t kClassifiedTypes = (1u << 0) | (1u << 1) | (1u << 2) | (1u << 6) | (1u << 7) | (1u << 9);

bool firmTag(const std::string& tag) {
    return std::any_of(std::begin(kFirmTags), std::end(kFirmTags),
                       [&](const char* word) { return tag.find(word) != std::string::npos; });
}

// How a NAL candidate stands against the run's rules.
enum class Admission {
    Refused,
    Firm,  // its word and size are the reference's or a rule's own
    // Taken only when what follows it is recognised. Short candidates must be: a false length
    // word read in sound mostly lies in the sound and ends in it.
    ConfirmAfter,
    // Taken when what follows it is recognised, or when no recognised unit starts inside it: a
    // long false length word reaches into the stream behind it.
    ConfirmAround,
};

// Bytes of a unit the slice-header check reads; a candidate nearer the buffer's end has its
// word checked only.
constexpr std::int64_t kSliceHeaderBytes = 96;
// Stretches of one repeated byte value longer than any audio run (holes, erased blocks) are
// passed over whole; the bytes around a position inside one that the tests read are this many.
constexpr std::int64_t kConstantRegionBytes = kMaxAudioRun + 1;
constexpr std::int64_t kConstantWindow = 128;
// Within how many bytes the stream goes on behind a false length word read in sound: twice the
// longest audio run so far, within these bounds.
constexpr std::int64_t kStreamGapMinBytes = 4096;
constexpr std::int64_t kStreamGapMaxBytes = 1 << 20;
// A unit of a type the rules leave to the reference may be this many times its largest.
constexpr std::uint64_t kBeyondMeasuredFactor = 2;

// The first position from `from` (before `limit`) whose byte is not `value`; `limit` when none.
std::int64_t constantUntil(const std::uint8_t* data, std::int64_t from, std::int64_t limit, std::uint8_t value) {
    std::uint64_t pattern = 0;
    std::memset(&pattern, value, sizeof pattern);
    std::int64_t at = from;
    for (; at + 8 <= limit; at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, data + at, sizeof word);
        if (word != pattern) break;
    }
    while (at < limit && data[at] == value) ++at;
    return at;
}

bool pcmRunLength(std::int64_t length) {
    return std::find(std::begin(kPcmRunLengths), std::end(kPcmRunLengths), length) != std::end(kPcmRunLengths);
}

class Scanner {
public:
    Scanner(RepairRun& run, std::int64_t chunkBytes, const ScanHooks& hooks)
        : run_(run), hooks_(hooks), chunk_(std::max(chunkBytes, kMinChunkBytes)),
          tail_(std::min(kScanTailBytes, chunk_ / 4)) {}

    ScanEnd scan();

private:
    // Buffer and chunk handling.
    void restartAt(std::int64_t absolute);
    bool readChunk(std::int64_t& delivered);
    void keepUnscanned();
    std::int64_t locateMediaData();

    // One position: takes, skips or refuses what starts at p.
    void step(std::int64_t p);
    bool isCandidateListed(std::int64_t p, int type, std::int64_t avail) const;
    // The word and size tests of the candidate at p (length word `length`, NAL type `type`).
    Admission admit(std::int64_t p, std::uint32_t length, int type, std::int64_t avail) const;
    // The longest length word admit() can take for `type`.
    std::uint64_t longestAdmitted(int type) const;
    // Whether what follows the candidate at p confirms it: a recognised packet, a unit the rules
    // take firmly, or the end of the data.
    bool confirmedByNext(std::int64_t p, std::uint32_t length, bool orNothingInside);
    // Whether a delimiter, box, camera packet or a unit the rules take firmly (`strict`: see
    // firmUnitAt) starts inside the candidate at p, before `end`.
    bool recognisedWithin(std::int64_t p, std::int64_t end, bool strict) const;
    // Whether a delimiter, a box, a camera track's sample or a camera special packet starts at
    // q of `data` (`valid` bytes); `atom` receives the special-packet check's answer.
    bool packetOtherThanUnitAt(const std::uint8_t* data, std::int64_t valid, std::int64_t q, AtomCheck& atom) const;
    // Whether a unit the rules take firmly starts at q; `strict` asks for a listed header word
    // and, for a slice, a header that parses.
    bool firmUnitAt(std::int64_t q, bool strict) const;
    bool refusedByPayload(std::int64_t p, std::uint32_t length, int type, std::int64_t avail, Admission admission);
    bool refusedByPairing(int type);
    void takePacket(std::int64_t p, std::uint32_t length, int type);
    // Records a written unit: its label, and where the stream's last picture ends.
    void notePacket(int type);
    void skipPacket(std::int64_t p, std::int64_t skip);
    void refuse(std::int64_t p) { refuseRange(p, 1); }
    // Refuses `count` positions from p, each as refuse() would.
    void refuseRange(std::int64_t p, std::int64_t count);
    // Refuses p and the positions after it that the screen turns away, in one pass.
    void refuseScreened(std::int64_t p);
    // At the start of a long stretch of one byte value that nothing can start in (longer than any
    // audio run, so no run of sound is split): hands the run before it on, then passes over the
    // stretch in one step. False when p starts no such stretch.
    bool passConstantRegion(std::int64_t p);
    // Within how many bytes the stream goes on behind a false length word read in sound.
    std::int64_t streamGapBytes() const {
        return std::clamp<std::int64_t>(2 * std::int64_t(run_.audio.largestRun), kStreamGapMinBytes,
                                        kStreamGapMaxBytes);
    }
    // Whether every test refuses a position inside a stretch of `value`, whatever the scan's state.
    bool constantRefused(std::uint8_t value);

    // Junk run: bytes spilled from earlier chunks followed by a range of the current buffer.
    std::int64_t junkLength() const { return static_cast<std::int64_t>(spill_.size()) + (junkEnd_ - junkStart_); }
    void spillJunk();
    void discardJunk();
    // Shortens the junk run to its first `length` bytes.
    void trimJunk(std::int64_t length);
    void handJunk(bool firstPacket);
    // End of the data: the last junk run goes to the audio, unless it is a unit the file cuts off.
    ScanEnd finishData();

    void writeVideo(const std::uint8_t* bytes, std::int64_t size);
    bool previewOn() const {
        return hooks_.preview && hooks_.previewEnabled && hooks_.previewSelected &&
               hooks_.previewEnabled->load(std::memory_order_relaxed) &&
               hooks_.previewSelected->load(std::memory_order_relaxed);
    }
    ScanValues scanValues() const { return ScanValues{junkLength(), run_.audio.chunkSampleCount, run_.sharedFlag}; }
    void stopWith(ScanEnd why) {
        if (!ended_) {
            ended_ = true;
            why_ = why;
        }
    }

    RepairRun& run_;
    const ScanHooks& hooks_;
    const std::int64_t chunk_;
    const std::int64_t tail_;

    ReadBuffer buf_;
    std::int64_t valid_ = 0;  // valid bytes in buf_
    std::int64_t base_ = 0;   // file offset of buf_[0]
    std::int64_t pos_ = 0;    // scan position in buf_
    std::int64_t limit_ = 0;  // end of the positions scanned in this chunk
    bool restarted_ = false;  // the buffer was dropped mid-chunk (a packet passed its end)
    ScanSource view_;

    std::vector<std::uint8_t> spill_;
    std::int64_t junkStart_ = 0;
    std::int64_t junkEnd_ = 0;

    // The last stretch of one byte value passed over (absolute offsets): its bytes are no run of
    // anything, and those of its tail that no test takes are dropped as well.
    std::uint8_t regionValue_ = 0;
    std::int64_t regionEnd_ = -1;      // where passing over stopped
    std::int64_t regionTailEnd_ = -1;  // where the stretch ends
    std::int64_t shortStretchEnd_ = -1;  // end of the last stretch found too short to pass over

    // NAL header bytes of each type's listed words: a slice known by its header alone must carry
    // one of them (the same nal_ref_idc as the reference's slices of its type).
    std::array<std::bitset<256>, kNalTypeCount> headerBytes_;

    enum class ConstantAnswer : std::uint8_t { Unknown, Refused, Asked };
    std::array<ConstantAnswer, 256> constant_{};

    ProgressRule progress_;
    PositionScreen screen_;
    AtomCheck atom_;
    std::string boxTag_;
    std::string cameraTag_;
    std::string checkText_;
    std::vector<std::uint8_t> copy_;

    bool ended_ = false;
    ScanEnd why_ = ScanEnd::DataEnded;
};

void Scanner::restartAt(std::int64_t absolute) {
    const std::int64_t from = std::max<std::int64_t>(0, absolute - kHistoryBytes);
    spillJunk();
    run_.source.setPosition(from);
    base_ = from;
    valid_ = 0;
    pos_ = absolute - from;
    restarted_ = true;
}

bool Scanner::readChunk(std::int64_t& delivered) {
    const std::int64_t left = std::max<std::int64_t>(0, run_.source.size() - run_.source.position());
    const std::int64_t want = std::min(chunk_ - valid_, left);
    delivered = want > 0 ? run_.source.read(buf_.data() + valid_, want) : 0;
    if (delivered < 0) return false;
    valid_ += delivered;
    view_.data = buf_.data();
    view_.valid = valid_;
    view_.base = base_;
    return true;
}

void Scanner::keepUnscanned() {
    spillJunk();
    const std::int64_t from = std::max<std::int64_t>(0, std::min(pos_, valid_) - kHistoryBytes);
    const std::int64_t kept = valid_ - from;
    if (kept > 0 && from > 0) std::memmove(buf_.data(), buf_.data() + from, static_cast<std::size_t>(kept));
    base_ += from;
    pos_ -= from;
    valid_ = std::max<std::int64_t>(0, kept);
}

// Where the media data begins, searched in the first 30,000,000 bytes of the file whatever
// the chunk size, so that the start never depends on it.
std::int64_t Scanner::locateMediaData() {
    const std::int64_t limit = std::min(run_.source.size(), kMdatSearchLimit);
    std::vector<std::uint8_t> window(static_cast<std::size_t>(std::min(limit, kCopyPiece + 4)));
    for (std::int64_t offset = 0; offset + 4 < limit; offset += kCopyPiece) {
        const std::int64_t length = std::min(kCopyPiece + 4, limit - offset);
        const std::int64_t got = run_.source.readAt(offset, window.data(), length);
        if (got < 0) return -1;
        // The last 4 bytes of a window are only compared as part of a match starting earlier.
        const std::int64_t found = findMdat(window.data(), got);
        if (found > 0) return offset + found;
        if (got < length) break;
    }
    return 0;
}

void Scanner::spillJunk() {
    if (junkEnd_ > junkStart_)
        spill_.insert(spill_.end(), buf_.data() + junkStart_, buf_.data() + junkEnd_);
    junkStart_ = junkEnd_ = 0;
}

void Scanner::trimJunk(std::int64_t length) {
    const std::int64_t spilled = static_cast<std::int64_t>(spill_.size());
    if (length >= junkLength()) return;
    if (length <= spilled) {
        spill_.resize(static_cast<std::size_t>(length));
        junkStart_ = junkEnd_ = 0;
    } else {
        junkEnd_ = junkStart_ + (length - spilled);
    }
}

void Scanner::discardJunk() {
    spill_.clear();
    junkStart_ = junkEnd_ = 0;
}

void Scanner::handJunk(bool firstPacket) {
    const std::int64_t length = junkLength();
    if (length == 0 || !firstPacket) return;  // a run handed without a first packet stays and grows
    std::uint8_t* bytes = nullptr;
    if (spill_.empty() && run_.media.bigEndian != 1) {
        bytes = buf_.data() + junkStart_;  // handed in place; swapping would alter scanned bytes
    } else {
        spillJunk();
        bytes = spill_.data();
    }
    OutputFile* out = run_.audioOut.isOpen() ? &run_.audioOut : nullptr;
    const AudioRunOutcome outcome = extractAudioRun(run_.analysis, run_.media, run_.formats, bytes, length, out, true,
                                                    run_.audioTrack, run_.audio, run_.packets);
    if (outcome == AudioRunOutcome::WriteFailed) stopWith(ScanEnd::AudioWriteFailed);
    discardJunk();
}

ScanEnd Scanner::finishData() {
    // Uncompressed sound that the file cuts off keeps its whole sample frames (or blocks).
    const std::int64_t unit = run_.audio.chunkSampleCount > 0 ? audioUnit(run_.media, run_.formats.audio) : 0;
    if (unit > 0) trimJunk(junkLength() / unit * unit);
    run_.audio.dataEnded = true;
    handJunk(true);
    return ended_ ? why_ : ScanEnd::DataEnded;
}

void Scanner::writeVideo(const std::uint8_t* bytes, std::int64_t size) {
    if (!run_.videoOut.write(bytes, static_cast<std::size_t>(size))) stopWith(ScanEnd::VideoWriteFailed);
}

ScanEnd Scanner::scan() {
    buf_.resize(static_cast<std::size_t>(chunk_));
    copy_.resize(static_cast<std::size_t>(kCopyPiece));
    view_.file = &run_.source;
    screen_.build(run_.analysis, run_.preset, run_.hevc());
    for (int type = 0; type < kNalTypeCount; ++type) {
        const int shift = 8 * (run_.words.wordBytes(type) - 1);
        for (const std::uint32_t word : run_.analysis.nalStats[static_cast<std::size_t>(type)].headerWords)
            headerBytes_[static_cast<std::size_t>(type)].set((word >> shift) & 0xFF);
    }
    for (int type = 0; type < kNalTypeCount; ++type)
        screen_.allowLength(type, static_cast<std::uint32_t>(std::min<std::uint64_t>(longestAdmitted(type), UINT32_MAX)));
    const std::int64_t size = run_.source.size();
    progress_.reset(size);
    const std::int64_t start = locateMediaData();
    if (start < 0) return ScanEnd::SourceFailed;
    restartAt(start);

    for (;;) {
        if (hooks_.stop && hooks_.stop->load(std::memory_order_relaxed)) return ScanEnd::Stopped;
        restarted_ = false;
        std::int64_t delivered = 0;
        if (!readChunk(delivered)) return ScanEnd::SourceFailed;
        // A read that delivers nothing before the known end means the file shrank: treat it as the end.
        const bool last = run_.source.position() >= size || delivered == 0;
        if (pos_ >= valid_) {
            if (!last) {
                // Nothing left in this buffer: a skipped packet ended exactly at its end.
                restartAt(base_ + pos_);
                continue;
            }
            return finishData();
        }

        // Away from the end of the file every test must see the bytes it reads, so positions
        // near the chunk's end wait for the next chunk; at the end of the file all are scanned.
        const std::int64_t limit = last ? valid_ : valid_ - tail_;
        limit_ = limit;
        while (pos_ < limit && !ended_ && !restarted_) step(pos_);
        if (ended_) return why_;
        if (restarted_) continue;
        if (last) return finishData();
        keepUnscanned();
        if (run_.audio.chunkSampleCount == 0 && run_.audio.audioTotal > kAudioLimit && run_.videoTotal <= kVideoLimit)
            return ScanEnd::AudioWithoutVideo;
    }
}

bool Scanner::isCandidateListed(std::int64_t p, int type, std::int64_t avail) const {
    const std::uint8_t* b = buf_.data() + p + 4;
    const int wordBytes = run_.words.wordBytes(type);
    if (avail < 4 + wordBytes) return false;
    const std::uint32_t word = wordBytes == 3 ? (std::uint32_t(b[0]) << 16) | (std::uint32_t(b[1]) << 8) | b[2]
                                              : (std::uint32_t(b[0]) << 8) | b[1];
    if (run_.words.holds(type, word)) return true;
    if (run_.hevc() || type != 1 || !run_.preset.canonSliceWords() || avail < 7) return false;
    return isCanonSliceWord((std::uint32_t(b[0]) << 16) | (std::uint32_t(b[1]) << 8) | b[2]);
}

std::uint64_t Scanner::longestAdmitted(int type) const {
    const std::uint32_t ruled = run_.analysis.nalStats[static_cast<std::size_t>(type)].maxSize;
    const MeasuredRange& measured = run_.measured[static_cast<std::size_t>(type)];
    return std::max<std::uint64_t>(ruled, measured.setByRules ? measured.maxSize
                                                              : kBeyondMeasuredFactor * measured.maxSize);
}

Admission Scanner::admit(std::int64_t p, std::uint32_t length, int type, std::int64_t avail) const {
    const NalTypeStats& entry = run_.analysis.nalStats[static_cast<std::size_t>(type)];
    const MeasuredRange& measured = run_.measured[static_cast<std::size_t>(type)];
    const bool listed = entry.maxSize > 0 && isCandidateListed(p, type, avail);
    if (!listed && (entry.maxSize == 0 && measured.maxSize == 0)) return Admission::Refused;
    const std::uint8_t* unit = buf_.data() + p + 4;
    if (!listed && (avail < 4 + kSliceHeaderBytes || !headerBytes_[static_cast<std::size_t>(type)].test(unit[0]) ||
                    !run_.slices.parses(unit, avail - 4)))
        return Admission::Refused;
    const bool halved = run_.hevc() || type == 1 || type == 5;
    auto within = [&](std::uint32_t min, std::uint32_t max) {
        return max > 0 && length >= (halved ? min / 2 : min) && length <= max;
    };
    // What the reference showed is never refused, whatever a fixed rule says: the accepted range
    // spans both.
    if (within(measured.minSize, measured.maxSize)) return Admission::Firm;
    const Admission confirm = measured.maxSize > 0 && length > measured.maxSize ? Admission::ConfirmAround
                                                                                : Admission::ConfirmAfter;
    const bool both = measured.maxSize > 0 && entry.maxSize > 0;
    if (within(both ? std::min(entry.minSize, measured.minSize) : entry.minSize,
               both ? std::max(entry.maxSize, measured.maxSize) : entry.maxSize)) {
        // A fixed range from 0 admits any short length word of the type's header, and a slice
        // known by its header alone has only the reference's sizes behind it: beyond what the
        // reference showed, such candidates must be confirmed.
        return listed && !(measured.setByRules && entry.minSize == 0) ? Admission::Firm : confirm;
    }
    if (!measured.setByRules && measured.maxSize > 0 &&
        std::uint64_t(length) <= kBeyondMeasuredFactor * std::uint64_t(measured.maxSize))
        return confirm;
    return Admission::Refused;
}

bool Scanner::firmUnitAt(std::int64_t q, bool strict) const {
    const std::int64_t avail = valid_ - q;
    if (avail < 8) return false;
    const std::uint8_t* b = buf_.data() + q;
    const std::uint32_t length = be32(b);
    if (length == 0 || (b[4] & 0x80) != 0) return false;
    const int type = run_.hevc() ? (b[4] >> 1) & 0x3F : b[4] & 0x1F;
    if (!strict) return admit(q, length, type, avail) == Admission::Firm;
    // Inside a long unit's payload a listed word with a fitting length turns up now and then;
    // a slice there must parse as well to count.
    if (!isCandidateListed(q, type, avail) || admit(q, length, type, avail) != Admission::Firm) return false;
    const bool slice = run_.hevc() ? type < 32 : type >= 1 && type <= 5;
    return !slice || (avail >= 4 + kSliceHeaderBytes && run_.slices.parses(b + 4, avail - 4));
}

bool Scanner::confirmedByNext(std::int64_t p, std::uint32_t length, bool orNothingInside) {
    if (checkNextPacket(view_, p, length, run_.analysis, run_.cameraTracks, run_.preset, scanValues(), run_.formats.video,
                        checkText_))
        return true;
    const std::int64_t next = p + 4 + std::int64_t(length);
    if (base_ + next >= run_.source.size()) return true;  // the unit ends the data
    if (firmUnitAt(next, false)) return true;
    if (!orNothingInside) return false;
    // With audio interleaved frame by frame a picture is followed by sound, which confirms
    // nothing. A false length word read in the sound reaches into the stream behind it, where
    // the next recognised unit starts within about one audio run; inside a real unit none does
    // (only a listed word in the picture's own data now and then, so the search goes no
    // further than the stream's audio runs are long).
    // A unit reaching past the buffer is judged by the part inside it, so that its fate does not
    // hang on where a chunk ends more than it must.
    return !recognisedWithin(p, std::min(next, p + 4 + streamGapBytes()), true);
}

bool Scanner::recognisedWithin(std::int64_t p, std::int64_t end, bool strict) const {
    end = std::min(end, valid_ - 8);
    const std::uint8_t* data = buf_.data();
    for (std::int64_t q = p + 5; q < end; ++q) {
        if (!screen_.mayStart(data + q)) continue;
        AtomCheck atom;
        if (firmUnitAt(q, strict) || packetOtherThanUnitAt(data, valid_, q, atom)) return true;
    }
    return false;
}

bool Scanner::packetOtherThanUnitAt(const std::uint8_t* data, std::int64_t valid, std::int64_t q,
                                    AtomCheck& atom) const {
    const std::uint32_t word = be32(data + q);
    std::uint32_t code = 0;
    if (isAudPacket(data, valid, q) || isContainerBox(data, valid, q, code) ||
        !run_.cameraTracks.candidates(word).empty())
        return true;
    specificAtomsChecker(data, valid, q, word, run_.preset, AtomsVariant::Repair, atom);
    return atom.skip != 0;
}

// The checks on a candidate that passed the first test; true when it is refused.
bool Scanner::refusedByPayload(std::int64_t p, std::uint32_t length, int type, std::int64_t avail, Admission admission) {
    const std::uint8_t* b = buf_.data() + p;
    if (!run_.hevc() && type == 12 && run_.audio.chunkSampleCount > 0) return true;
    if (avail >= 8 && b[4] == b[6] && b[5] == b[7]) return true;
    if (admission != Admission::Firm) return !confirmedByNext(p, length, admission == Admission::ConfirmAround);
    bool unconfirmed = false;
    if ((type == 1 || type == 5) && length >= 4) {
        const std::int64_t positions = std::min<std::int64_t>(length, 20);
        for (std::int64_t i = 0; i < positions && 4 + i + 4 <= avail; ++i) {
            const std::uint8_t* q = b + 4 + i;
            if (q[0] == 0 && q[1] == 0 && q[2] == 0 && q[3] < 0xFF) {
                unconfirmed = true;
                break;
            }
        }
    }
    if (((kClassifiedTypes >> type) & 1) != 0 && junkLength() > 0) {
        unconfirmed = run_.packets.classifyLastPackets();
        if (run_.preset.canon6d) unconfirmed = true;
    }
    if (!unconfirmed) return false;
    return !confirmedByNext(p, length, false);
}

// Pairing of the candidate with the junk run before it; true when it is refused.
bool Scanner::refusedByPairing(int type) {
    const std::int64_t junk = junkLength();
    if (run_.preset.mark4 && junk > kConfirmAboveJunk && !run_.packets.empty() && type != 5 &&
        run_.packets.lastIsSuite())
        return true;
    if (run_.expectedJunk >= 0 && junk < run_.expectedJunk) return true;
    const std::int64_t chunkSamples = run_.audio.chunkSampleCount;
    if (run_.audioTrack >= 0 && run_.preset.pairsPcmRuns() && junk > 0 && junk < chunkSamples) {
        if (run_.sharedFlag) return true;
        discardJunk();
    }
    const std::int64_t left = junkLength();
    if (run_.audioTrack >= 0 && run_.audioMinSize > 0 && chunkSamples == 0 && left > 0 && left < run_.audioMinSize)
        return true;
    return false;
}

void Scanner::takePacket(std::int64_t p, std::uint32_t length, int type) {
    writeVideo(kStartCode, 4);
    const std::int64_t payload = p + 4;
    const std::int64_t end = payload + length;
    const bool preview = previewOn();
    if (end <= valid_) {
        // A large picture is copied file to file by the system; the bytes stay the buffer's.
        if (!run_.videoOut.copyFrom(run_.source.descriptor(), base_ + payload, buf_.data() + payload, length))
            stopWith(ScanEnd::VideoWriteFailed);
        run_.videoTotal += length;
        if (preview) {
            if (type == 1)
                hooks_.preview->queueSlicePreview(buf_.data() + payload, length, nullptr, 0);
            else
                hooks_.preview->queuePreviewPacket(buf_.data() + payload, length, nullptr, 0, type);
        }
        notePacket(type);
        pos_ = end;
        return;
    }
    // The packet passes the chunk's end: the rest comes straight from the file, and the next
    // chunk starts right after the packet.
    const std::int64_t inBuffer = valid_ - payload;
    writeVideo(buf_.data() + payload, inBuffer);
    std::vector<std::uint8_t> extra;
    std::int64_t rest = length - inBuffer;
    std::int64_t written = inBuffer;
    const std::int64_t after = base_ + end;
    while (rest > 0 && !ended_) {
        const std::int64_t got = run_.source.read(copy_.data(), std::min(rest, kCopyPiece));
        if (got < 0) {
            stopWith(ScanEnd::SourceFailed);
            return;
        }
        if (got == 0) break;  // the length word points past the end of the file
        writeVideo(copy_.data(), got);
        if (preview && written - inBuffer + got <= kPreviewExtraLimit) extra.insert(extra.end(), copy_.data(), copy_.data() + got);
        written += got;
        rest -= got;
    }
    run_.videoTotal += written;
    if (preview) {
        if (type == 1)
            hooks_.preview->queueSlicePreview(buf_.data() + payload, inBuffer, extra.data(), extra.size());
        else
            hooks_.preview->queuePreviewPacket(buf_.data() + payload, inBuffer, extra.data(), extra.size(), type);
    }
    notePacket(type);
    run_.sharedFlag = true;
    restartAt(after);
}

void Scanner::notePacket(int type) {
    run_.packets.addVideo(type);
    const bool picture = run_.hevc() ? type < 32 : type >= 1 && type <= 5;
    if (picture) run_.pictureEnd = run_.videoOut.accepted();
}

void Scanner::skipPacket(std::int64_t p, std::int64_t skip) {
    if (p + skip <= valid_) {
        pos_ = p + skip;
        return;
    }
    restartAt(base_ + p + skip);
}

void Scanner::refuseRange(std::int64_t p, std::int64_t count) {
    // Neither limit changes while positions are refused, so one test stands for all of them.
    if ((run_.audio.droppedBytes > kAudioLimit || run_.audio.audioTotal > kAudioLimit) &&
        run_.audio.chunkSampleCount == 0 && run_.videoTotal <= kVideoLimit) {
        stopWith(ScanEnd::AudioWithoutVideo);
        return;
    }
    // The tail of a stretch just passed over is dropped with it, not made the start of a run.
    if (junkLength() == 0 && base_ + p >= regionEnd_ && base_ + p < regionTailEnd_) {
        const std::int64_t tail = std::min(count, regionTailEnd_ - (base_ + p));
        p += tail;
        count -= tail;
        pos_ = p;
    }
    while (count > 0) {
        // A run this long holds no usable audio (a hole the card left, a damaged stretch): it
        // is dropped, and the pictures behind it are still to be found.
        if (junkLength() >= kJunkLimit) {
            run_.packets.addSkip();
            discardJunk();
        }
        const std::int64_t taken = std::min(count, kJunkLimit - junkLength());
        if (junkEnd_ == p && junkEnd_ > junkStart_) {
            junkEnd_ = p + taken;
        } else {
            spillJunk();
            junkStart_ = p;
            junkEnd_ = p + taken;
        }
        p += taken;
        count -= taken;
        pos_ = p;
    }
}

void Scanner::refuseScreened(std::int64_t p) {
    // The positions after p get nothing from step() but the screen's answer and the stop poll,
    // up to the next one at which progress is due.
    const std::int64_t end = std::min({limit_, valid_ - PositionScreen::kBytes + 1, progress_.nextDue() - base_});
    const std::uint8_t* data = buf_.data();
    std::int64_t q = p + 1;
    while (q < end && !screen_.mayStart(data + q) && !(hooks_.stop && hooks_.stop->load(std::memory_order_relaxed)))
        ++q;
    refuseRange(p, q - p);
}

bool Scanner::constantRefused(std::uint8_t value) {
    ConstantAnswer& answer = constant_[value];
    if (answer != ConstantAnswer::Unknown) return answer == ConstantAnswer::Refused;
    answer = ConstantAnswer::Asked;
    const std::vector<std::uint8_t> stretch(static_cast<std::size_t>(4 * kConstantWindow), value);
    const std::int64_t at = 2 * kConstantWindow;
    const std::uint32_t word = be32(stretch.data() + at);
    // A camera track's sample known by this first word would be matched depending on the run,
    // and an announced junk length changes what follows.
    AtomCheck atom;
    if (packetOtherThanUnitAt(stretch.data(), std::int64_t(stretch.size()), at, atom) || atom.announcedJunk >= 0)
        return false;
    const int type = run_.hevc() ? (value >> 1) & 0x3F : value & 0x1F;
    if (word != 0 && (value & 0x80) == 0) {
        // The word and size tests alone, as admit() runs them (the slice check needs a header).
        if (word <= longestAdmitted(type)) return false;
    }
    answer = ConstantAnswer::Refused;
    return true;
}

bool Scanner::passConstantRegion(std::int64_t p) {
    const std::uint8_t* data = buf_.data();
    const std::uint8_t value = data[p];
    const std::int64_t at = base_ + p;
    const bool continuing = at == regionEnd_ && value == regionValue_;
    if (!continuing && at < shortStretchEnd_) return false;
    // A stretch taken up again is already known to its end, as far as the buffer reached then.
    std::int64_t end = continuing ? std::clamp<std::int64_t>(regionTailEnd_ - base_, p, valid_) : p;
    end = constantUntil(data, end, valid_, value);
    if (!continuing && (end - p < kConstantRegionBytes || !constantRefused(value))) {
        shortStretchEnd_ = base_ + end;
        return false;
    }
    // Positions whose look-ahead reaches past the stretch are tested one by one; a stretch that
    // goes on into the next chunk is taken up again there.
    const std::int64_t last = std::min({end - kConstantWindow, limit_, progress_.nextDue() - base_});
    if (last <= p) return false;
    if (!continuing) {
        // The run before the hole is decided alone: audio that ends at the hole is kept.
        handJunk(true);
        if (ended_) return true;
        run_.packets.addSkip();
    }
    regionValue_ = value;
    regionEnd_ = base_ + last;
    regionTailEnd_ = base_ + end;
    pos_ = last;
    return true;
}

void Scanner::step(std::int64_t p) {
    int percent = 0;
    if (progress_.due(base_ + p, percent) && hooks_.progress) hooks_.progress(percent);
    if (!run_.videoRepairSent && run_.videoTotal > 1024) {
        run_.videoRepairSent = true;
        if (hooks_.videoRepair) hooks_.videoRepair();
    }
    if (hooks_.stop && hooks_.stop->load(std::memory_order_relaxed)) {
        stopWith(ScanEnd::Stopped);
        return;
    }

    const std::int64_t avail = valid_ - p;
    const std::uint8_t* b = buf_.data() + p;
    if (avail < 6) {
        refuse(p);
        return;
    }
    if (avail >= PositionScreen::kBytes && !screen_.mayStart(b)) {
        refuseScreened(p);
        return;
    }
    if (be32(b) == be32(b + 4) && b[0] == b[1] && passConstantRegion(p)) return;
    const std::uint32_t length = be32(b);

    atom_.skip = 0;
    atom_.announcedJunk = -1;
    specificAtomsChecker(buf_.data(), valid_, p, length, run_.preset, AtomsVariant::Repair, atom_);
    // An announced length beyond the longest audio run could never be reached; it would only
    // hold back all video.
    if (atom_.announcedJunk >= 0 && atom_.announcedJunk <= kMaxAudioRun) run_.expectedJunk = atom_.announcedJunk;

    if (isAudPacket(buf_.data(), valid_, p)) {
        handJunk(run_.specialSeen);
        writeVideo(kStartCode, 4);
        writeVideo(b + 4, 2);
        if (previewOn()) hooks_.preview->queuePreviewPacket(b + 4, 2, nullptr, 0, 9);
        pos_ = p + 6;
        return;
    }

    std::int64_t skip = atom_.skip;
    const std::string* tag = &atom_.tag;
    std::uint32_t code = 0;
    if (isContainerBox(buf_.data(), valid_, p, code)) {
        if (length < kBoxLengthLimit) {
            skip = length;
            boxTag_ = std::string("AtomSpecific [") + boxTypeName(code) + "]";
            tag = &boxTag_;
        }
        if (code == fourcc("ftyp") && run_.specialSeen) {
            discardJunk();
            run_.sharedFlag = false;
        }
    }
    if (skip == 0 && cameraAtomRules(buf_.data(), valid_, p, length, run_.cameraTracks, run_.preset, scanValues(),
                                     skip, cameraTag_))
        tag = &cameraTag_;

    if (skip > 0) {
        const std::int64_t junk = junkLength();
        if (junk > kConfirmAboveJunk && !firmTag(*tag) && !pcmRunLength(junk) &&
            !checkAfterSpecialPacket(view_, p, skip, run_.analysis, run_.cameraTracks, run_.preset, scanValues(),
                                     run_.formats.video, checkText_))
            skip = 0;
        if (skip > 0) {
            if (junk == run_.expectedJunk) run_.expectedJunk = -1;
            handJunk(true);
            run_.packets.addSpecial(*tag);
            run_.specialSeen = true;
            skipPacket(p, skip);
            return;
        }
    }

    const std::uint8_t h = b[4];
    const int type = run_.hevc() ? (h >> 1) & 0x3F : h & 0x1F;
    const Admission admission = length == 0 || (h & 0x80) != 0 ? Admission::Refused : admit(p, length, type, avail);
    if (admission == Admission::Refused) {
        refuse(p);
        return;
    }
    // A unit that the file cuts off is no whole picture: written short it would decode as one.
    const bool cutOff = base_ + p + 4 + static_cast<std::int64_t>(length) > run_.source.size();
    if (refusedByPayload(p, length, type, avail, admission)) {
        refuse(p);
        return;
    }
    if (cutOff) {
        // The run before it is decided alone. A unit the file cuts off is the rest of the data:
        // its bytes are neither a picture nor sound, whatever turns up inside them. Only when
        // the stream goes on within about an audio run of it was its length word false.
        handJunk(true);
        if (ended_) return;
        if (recognisedWithin(p, p + 4 + streamGapBytes(), false)) {
            refuse(p);
            return;
        }
        run_.packets.addSkip();
        stopWith(ScanEnd::DataEnded);
        return;
    }
    if (refusedByPairing(type)) {
        refuse(p);
        return;
    }
    handJunk(true);
    run_.expectedJunk = -1;
    if (ended_) return;
    takePacket(p, length, type);
}

}  // namespace

ScanEnd runScan(RepairRun& run, std::int64_t chunkBytes, const ScanHooks& hooks) {
    Scanner scanner(run, chunkBytes, hooks);
    return scanner.scan();
}
