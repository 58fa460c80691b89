#include "repair/scan_loop.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "media/start_codes.h"
#include "mp4/byte_order.h"
#include "mp4/fourcc_text.h"
#include "mp4/nal_header.h"
#include "repair/candidate_judge.h"
#include "repair/constant_regions.h"
#include "repair/junk_run.h"
#include "repair/live_preview.h"
#include "repair/nal_first_test.h"
#include "repair/packet_checks.h"
#include "repair/progress_rule.h"
#include "repair/repair_run.h"
#include "repair/scan_window.h"
#include "repair/sound_in_junk.h"
#include "repair/special_kind.h"
#include "repair/special_packets.h"
#include "repair/stream_writer.h"

namespace {

constexpr std::int64_t kJunkLimit = 0x2000000;          // 32 MiB
constexpr std::int64_t kAudioLimit = 0xC800000;         // 200 MiB
constexpr std::int64_t kVideoLimit = 0x5FFFFFFF;        // about 1.5 GiB
constexpr std::int64_t kConfirmAboveJunk = 50;
constexpr std::uint32_t kBoxLengthLimit = 0xFFFFFF;
constexpr std::int64_t kCopyPiece = 1 << 20;
constexpr std::int64_t kPreviewExtraLimit = 32 << 20;
// The first payload bytes in which a zero word only marks a candidate unconfirmed; beyond them a
// unit that holds 00 00 00, 00 00 01 or 00 00 02 is no unit. Checked this far into a unit.
constexpr std::int64_t kMarkedPayloadBytes = 20;
// Junk that looks like units holds such a sequence within a few kilobytes; random bytes seldom do
// within any length, so looking further would cost time and catch nothing.
constexpr std::int64_t kValidityCheckBytes = 4 * 1024;

// Junk lengths of the usual PCM chunk sizes: a special packet after them needs no confirmation.
constexpr std::int64_t kPcmRunLengths[] = {96096, 96000, 6144, 18432, 64000, 184320, 192192, 99840, 92160, 96256};
// Types whose candidates the packet-list pattern may mark unconfirmed.
constexpr std::uint64_t kClassifiedTypes = (1u << 0) | (1u << 1) | (1u << 2) | (1u << 6) | (1u << 7) | (1u << 9);

bool pcmRunLength(std::int64_t length) {
    return std::find(std::begin(kPcmRunLengths), std::end(kPcmRunLengths), length) != std::end(kPcmRunLengths);
}

// Whether the slice whose NAL header is at `unit` opens a picture (first_mb_in_slice 0, or
// first_slice_segment_in_pic_flag set): the first bit behind the NAL header.
bool opensPicture(const std::uint8_t* unit, bool hevc) { return (unit[hevc ? 2 : 1] & 0x80) != 0; }

class Scanner {
public:
    Scanner(RepairRun& run, std::int64_t chunkBytes, const ScanHooks& hooks)
        : run_(run), hooks_(hooks), window_(run.source, std::max(chunkBytes, kMinChunkBytes)),
          tail_(std::min(kScanTailBytes, window_.chunk() / 4)), judge_(run),
          writer_(run.videoOut, run.videoTotal) {
        writer_.setPreview([this] { return previewOn() ? hooks_.preview : nullptr; });
        writer_.setPictureEnd(run.pictureEnd);
    }

    ScanEnd scan();
    std::int64_t pictureEnd() const { return writer_.pictureEnd(); }

private:
    // One position: takes, skips or refuses what starts at p.
    void step(std::int64_t p);
    bool skipSpecialPacket(std::int64_t p, std::uint32_t length);
    void judgeCandidate(std::int64_t p);
    // The checks on a candidate that passed the first test; true when it is refused.
    bool refusedByPayload(std::int64_t p, const Candidate& c);
    bool refusedByPairing(int type);
    // Whether the candidate holds 00 00 00, 00 00 01 or 00 00 02 beyond its first bytes (where a
    // zero word only marks it unconfirmed): a NAL unit never does. Read past the buffer when the
    // candidate reaches beyond it, so that the answer never depends on where a chunk ends.
    bool holdsZeroSequence(std::int64_t p, const Candidate& c);
    // A unit that the file cuts off is the rest of the data, unless the stream goes on behind it
    // (then its length word was false).
    void cutOff(std::int64_t p, const Candidate& c);
    // Whether a slice the file cuts off starts inside the length word of the candidate at p.
    bool cutOffBehind(std::int64_t p) const;
    // Whether the candidate at p reaches past the end of the file.
    bool cutByTheEnd(std::int64_t p, const Candidate& c) const {
        return window_.base() + p + 4 + std::int64_t(c.length) > run_.source.size();
    }
    void take(std::int64_t p, const Candidate& c);
    void holdUnit(std::int64_t p, const Candidate& c);
    void writeSlice(std::int64_t p, const Candidate& c);
    void writeSlicePastChunk(std::int64_t p, const Candidate& c);
    // The taken slice for the live preview; `extra` holds its bytes past the buffer.
    void previewSlice(const Candidate& c, const std::uint8_t* payload, std::int64_t length,
                      const std::vector<std::uint8_t>& extra);
    void skipPacket(std::int64_t p, std::int64_t skip);
    void refuse(std::int64_t p) { refuseRange(p, 1); }
    // Refuses `count` positions from p, each as refuse() would.
    void refuseRange(std::int64_t p, std::int64_t count);
    // Refuses p and the positions after it that the screen turns away, in one pass.
    void refuseScreened(std::int64_t p);
    // At the start of a stretch of one byte value longer than the stream's sound runs: hands the
    // run before it on and passes over the stretch. False when p starts no such stretch.
    bool passConstantRegion(std::int64_t p);
    bool constantRefused(std::uint8_t value) const;

    // Bytes since the stream last showed (a unit or a camera packet taken): beyond
    // the stream's sound runs the scan is in junk, where even a firm candidate needs confirming.
    bool inJunk(std::int64_t p) const { return window_.base() + p - streamEnd_ > soundRunBound(run_.audio); }

    void handJunk(bool firstPacket);
    // End of the data: the last junk run goes to the audio.
    ScanEnd finishData();
    void restartAt(std::int64_t absolute) {
        junk_.spill(window_.data());
        pos_ = window_.restartAt(absolute);
    }

    bool previewOn() const {
        return hooks_.preview && hooks_.previewEnabled && hooks_.previewSelected &&
               hooks_.previewEnabled->load(std::memory_order_relaxed) &&
               hooks_.previewSelected->load(std::memory_order_relaxed);
    }
    bool stopRequested() const { return hooks_.stop && hooks_.stop->load(std::memory_order_relaxed); }
    ScanValues scanValues() const { return ScanValues{junkLength(), run_.audio.chunkSampleCount, run_.sharedFlag}; }
    // The junk run as the rules see it: behind the units held for a picture, the bytes before them
    // count as decided, though they are handed on only with the picture (a unit of junk that looked
    // like one must not cut the junk around it into runs that pass for sound). A delimiter held
    // alone leaves the run before it in view, as the camera rules have always read it.
    std::int64_t junkLength() const { return junk_.length() - junkBeforeHeld_; }
    void discardJunk() {
        junk_.discard();
        junkBeforeHeld_ = 0;
    }
    // Bytes that are no picture right behind held units: they were no units of a picture. Their
    // bytes go back into the run where they stood when nothing was handed or passed over since
    // (junk that looked like a unit must not cut the junk or the sound around it into runs of
    // other lengths); else they are dropped, as the run they stood in is gone.
    void releaseHeld(std::int64_t at);
    void stopWith(ScanEnd why) {
        if (!ended_) {
            ended_ = true;
            why_ = why;
        }
    }

    RepairRun& run_;
    const ScanHooks& hooks_;
    ScanWindow window_;
    const std::int64_t tail_;
    CandidateJudge judge_;
    StreamWriter writer_;
    JunkRun junk_;
    ConstantRegions regions_;

    std::int64_t pos_ = 0;    // scan position in the buffer
    std::int64_t limit_ = 0;  // end of the positions scanned in this chunk
    std::int64_t streamEnd_ = 0;
    std::int64_t junkBeforeHeld_ = 0;

    ProgressRule progress_;
    AtomCheck atom_;
    std::string boxTag_;
    std::string cameraTag_;
    std::string checkText_;
    std::vector<std::uint8_t> copy_;

    bool ended_ = false;
    ScanEnd why_ = ScanEnd::DataEnded;
};

void Scanner::handJunk(bool firstPacket) {
    const std::int64_t length = junk_.length();
    if (length == 0 || !firstPacket) return;  // a run handed without a first packet stays and grows
    // Handed in place unless it must be swapped: swapping would alter bytes still to be scanned.
    std::uint8_t* bytes = junk_.bytes(window_.data(), run_.media.bigEndian != 1);
    OutputFile* out = run_.audioOut.isOpen() ? &run_.audioOut : nullptr;
    auto hand = [&](std::uint8_t* part, std::int64_t size) {
        const AudioRunOutcome outcome = extractAudioRun(run_.analysis, run_.media, run_.formats, part, size, out, true,
                                                        run_.audioTrack, run_.audio, run_.packets);
        if (outcome == AudioRunOutcome::WriteFailed) stopWith(ScanEnd::AudioWriteFailed);
    };
    if (length <= soundRunBound(run_.audio) || run_.audioTrack < 0) {
        hand(bytes, length);
    } else {
        // Longer than the stream's sound runs: the sound beside the junk is handed alone.
        std::int64_t kept = 0;
        for (const SoundPart& part : soundInLongRun(bytes, length, run_.formats, run_.media, run_.audio,
                                                    run_.aacFrames.get())) {
            hand(bytes + part.begin, part.end - part.begin);
            kept += part.end - part.begin;
        }
        if (kept < length) {
            run_.packets.addSkip();
            run_.audio.droppedBytes += length - kept;
        }
    }
    discardJunk();
}

ScanEnd Scanner::finishData() {
    // Uncompressed sound that the file cuts off keeps its whole sample frames (or blocks).
    const std::int64_t unit = run_.audio.chunkSampleCount > 0 ? audioUnit(run_.media, run_.formats.audio) : 0;
    if (unit > 0) junk_.trim(junk_.length() / unit * unit);
    run_.audio.dataEnded = true;
    handJunk(true);
    writer_.dropHeld();
    return ended_ ? why_ : ScanEnd::DataEnded;
}

ScanEnd Scanner::scan() {
    copy_.resize(static_cast<std::size_t>(kCopyPiece));
    const std::int64_t size = run_.source.size();
    progress_.reset(size);
    const std::int64_t start = window_.locateMediaData();
    if (start < 0) return ScanEnd::SourceFailed;
    streamEnd_ = start;
    restartAt(start);

    for (;;) {
        if (stopRequested()) return ScanEnd::Stopped;
        std::int64_t delivered = 0;
        if (!window_.readChunk(delivered)) return ScanEnd::SourceFailed;
        // A read that delivers nothing before the known end means the file shrank: treat it as the end.
        const bool last = run_.source.position() >= size || delivered == 0;
        if (pos_ >= window_.valid()) {
            if (!last) {
                // Nothing left in this buffer: a skipped packet ended exactly at its end.
                restartAt(window_.base() + pos_);
                continue;
            }
            return finishData();
        }

        // Away from the end of the file every test must see the bytes it reads, so positions
        // near the chunk's end wait for the next chunk; at the end of the file all are scanned.
        limit_ = last ? window_.valid() : window_.valid() - tail_;
        while (pos_ < limit_ && !ended_ && !window_.restarted()) step(pos_);
        if (ended_) return why_;
        if (window_.restarted()) continue;
        if (last) return finishData();
        junk_.spill(window_.data());
        pos_ = window_.keepFrom(pos_);
        if (run_.audio.chunkSampleCount == 0 && run_.audio.audioTotal > kAudioLimit && run_.videoTotal <= kVideoLimit)
            return ScanEnd::AudioWithoutVideo;
    }
}

void Scanner::step(std::int64_t p) {
    int percent = 0;
    if (progress_.due(window_.base() + p, percent) && hooks_.progress) hooks_.progress(percent);
    if (!run_.videoRepairSent && run_.videoTotal > 1024) {
        run_.videoRepairSent = true;
        if (hooks_.videoRepair) hooks_.videoRepair();
    }
    if (stopRequested()) {
        stopWith(ScanEnd::Stopped);
        return;
    }

    const std::int64_t avail = window_.valid() - p;
    const std::uint8_t* b = window_.data() + p;
    if (avail < 6) {
        refuse(p);
        return;
    }
    if (avail >= PositionScreen::kBytes && !judge_.screen().mayStart(b)) {
        refuseScreened(p);
        return;
    }
    if (mp4::be32(b) == mp4::be32(b + 4) && b[0] == b[1] && passConstantRegion(p)) return;
    const std::uint32_t length = mp4::be32(b);

    atom_.skip = 0;
    atom_.announcedJunk = -1;
    specificAtomsChecker(window_.data(), window_.valid(), p, length, run_.preset, AtomsVariant::Repair, atom_);
    // An announced length beyond the longest audio run could never be reached; it would only
    // hold back all video.
    if (atom_.announcedJunk >= 0 && atom_.announcedJunk <= kMaxAudioRun) run_.expectedJunk = atom_.announcedJunk;

    if (isAudPacket(window_.data(), window_.valid(), p)) {
        handJunk(run_.specialSeen);
        const std::int64_t at = window_.base() + p;
        writer_.hold(b + 4, 2, 9, at, at + 6, true);
        pos_ = p + 6;
        return;
    }
    if (skipSpecialPacket(p, length)) return;
    judgeCandidate(p);
}

bool Scanner::skipSpecialPacket(std::int64_t p, std::uint32_t length) {
    std::int64_t skip = atom_.skip;
    SpecialKind kind = atom_.kind;
    const std::string* tag = &atom_.tag;
    std::uint32_t code = 0;
    if (isContainerBox(window_.data(), window_.valid(), p, code)) {
        if (length < kBoxLengthLimit) {
            skip = length;
            kind = SpecialKind::Box;
            boxTag_ = std::string("AtomSpecific [") + boxTypeName(code) + "]";
            tag = &boxTag_;
        }
        if (code == mp4::fourcc("ftyp") && run_.specialSeen) {
            discardJunk();
            run_.sharedFlag = false;
        }
    }
    if (skip == 0 && cameraAtomRules(window_.data(), window_.valid(), p, length, run_.cameraTracks, run_.preset,
                                     scanValues(), skip, cameraTag_)) {
        kind = SpecialKind::CameraTrack;
        tag = &cameraTag_;
    }
    if (skip <= 0) return false;

    const std::int64_t junk = junkLength();
    if (junk > kConfirmAboveJunk && !isFirmKind(kind) && !pcmRunLength(junk) &&
        !checkAfterSpecialPacket(window_.view(), p, skip, run_.analysis, run_.cameraTracks, run_.preset, scanValues(),
                                 run_.formats.video, checkText_))
        return false;
    if (junk == run_.expectedJunk) run_.expectedJunk = -1;
    handJunk(true);
    run_.packets.addSpecial(kind, *tag);
    run_.specialSeen = true;
    writer_.passOver(window_.base() + p, window_.base() + p + skip);
    streamEnd_ = window_.base() + p + skip;
    skipPacket(p, skip);
    return true;
}

void Scanner::judgeCandidate(std::int64_t p) {
    const Candidate c = judge_.judge(window_.data() + p, window_.valid() - p);
    if (c.admission == Admission::Refused || refusedByPayload(p, c)) {
        refuse(p);
        return;
    }
    if (cutByTheEnd(p, c)) {
        cutOff(p, c);
        return;
    }
    if (refusedByPairing(c.type)) {
        refuse(p);
        return;
    }
    if (c.picture) {
        handJunk(true);
    } else {
        // The run before the units that lead a picture goes on with that picture.
        if (!writer_.holdsUpTo(window_.base() + p)) junkBeforeHeld_ = junk_.length();
    }
    run_.expectedJunk = -1;
    if (ended_) return;
    take(p, c);
}

bool Scanner::refusedByPayload(std::int64_t p, const Candidate& c) {
    const std::uint8_t* b = window_.data() + p;
    const std::int64_t avail = window_.valid() - p;
    if (!run_.hevc() && c.type == 12 && run_.audio.chunkSampleCount > 0) return true;
    if (avail >= 8 && b[4] == b[6] && b[5] == b[7]) return true;
    if (holdsZeroSequence(p, c)) return true;
    // A slice the file cuts off, out of no junk, whose whole header parses and goes on with the
    // stream's numbering: nothing behind it can confirm it, and its bytes are neither picture nor
    // sound. The cut-off test decides it (the stream must not go on behind it). A header alone
    // says too little: the end of quiet sound reads as one now and then, and the cut-off would
    // take the sound to the end with it; so does a header the data cuts short (three bytes
    // early, the end of the sound and the unit's length word read as one as well).
    if (cutByTheEnd(p, c) && !inJunk(p) && c.headerRead && c.parsed && judge_.continuesStream(c.slice)) return false;
    // A header cut short by the end of the data is not refused for it: the unit is the one the
    // file cuts off, neither picture nor sound.
    if (c.picture && c.headerRead && !c.parsed && judge_.slicesParse()) return true;

    // Out of junk longer than the stream's sound runs, a firm slice must parse as well, when the
    // reference's parameter sets allow it: a chance word and length in another file's bytes do not.
    const bool junkAround = inJunk(p) && !(c.admission == Admission::Firm && !(c.picture && run_.slices.usable()));
    if (junkAround && c.picture && c.headerRead && !c.parsed) return true;
    if (c.admission == Admission::Confirm || junkAround) {
        // A slice that goes on with the stream's own numbering is confirmed by what lies before it:
        // right behind the stream, or out of junk when the reference's sizes and words are its own.
        // Not one far longer than the reference's: a header borrowed by chance says nothing of
        // where a length word in junk ends.
        if (c.parsed && !c.beyondMeasured && (!junkAround || c.admission == Admission::Firm) &&
            judge_.continuesStream(c.slice))
            return false;
        if (!judge_.confirmedByNext(window_.view(), p, c, scanValues(), true, checkText_)) return true;
        // A long candidate, or one out of junk, must not swallow the stream behind it.
        if (junkAround || c.beyondMeasured) {
            const std::int64_t end = p + 4 + std::int64_t(c.length);
            return judge_.chainWithin(window_.view(), p + 5, end);
        }
        return false;
    }

    bool unconfirmed = false;
    if ((c.type == 1 || c.type == 5) && c.length >= 4) {
        const std::int64_t positions = std::min<std::int64_t>(c.length, kMarkedPayloadBytes);
        for (std::int64_t i = 0; i < positions && 4 + i + 4 <= avail; ++i) {
            const std::uint8_t* q = b + 4 + i;
            if (q[0] == 0 && q[1] == 0 && q[2] == 0 && q[3] < 0xFF) {
                unconfirmed = true;
                break;
            }
        }
    }
    if (((kClassifiedTypes >> c.type) & 1) != 0 && junkLength() > 0) {
        unconfirmed = run_.packets.classifyLastPackets();
        if (run_.preset.canon6d) unconfirmed = true;
    }
    if (!unconfirmed) return false;
    // A slice whose first bytes hold a zero word is no real slice unless its header parses.
    if (c.picture && run_.slices.usable() && !c.parsed) return true;
    return !judge_.confirmedByNext(window_.view(), p, c, scanValues(), false, checkText_);
}

bool Scanner::holdsZeroSequence(std::int64_t p, const Candidate& c) {
    const std::int64_t checked = std::min<std::int64_t>(c.length, kValidityCheckBytes);
    const std::int64_t unit = p + 4;
    const std::uint8_t* bytes = window_.data() + unit;
    std::int64_t readable = checked;
    if (!window_.view().inBuffer(unit, checked)) {
        copy_.resize(std::max<std::size_t>(copy_.size(), std::size_t(checked)));
        readable = window_.view().copy(unit, copy_.data(), checked);
        if (readable < 0) return false;
        bytes = copy_.data();
    }
    // In a slice's first bytes a zero word only marks it unconfirmed (see refusedByPayload).
    const bool marks = c.type == 1 || c.type == 5;
    const std::size_t size = std::size_t(readable);
    for (std::size_t at = nextForbiddenZeros(bytes, size); at < size; at = nextForbiddenZeros(bytes, size, at + 1)) {
        const bool zeroWord = at + 3 < size && bytes[at + 2] == 0;
        if (!(marks && zeroWord && at < std::size_t(4 + kMarkedPayloadBytes))) return true;
        at += 2;
    }
    return false;
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

void Scanner::cutOff(std::int64_t p, const Candidate& c) {
    // A false length word read in junk or sound points anywhere; the file's own last unit has
    // nothing of the stream behind it.
    if (judge_.chainWithin(window_.view(), p + 5, run_.source.size() - window_.base()) || cutOffBehind(p)) {
        refuse(p);
        return;
    }
    // The run before it is decided alone; the unit's bytes are neither a picture nor sound.
    handJunk(true);
    if (ended_) return;
    // The slices of its picture right before it are no whole picture either.
    if (c.picture && !opensPicture(window_.data() + p + 4, run_.hevc()) && streamEnd_ == window_.base() + p)
        writer_.dropCurrentPicture();
    writer_.dropHeld();
    run_.packets.addSkip();
    stopWith(ScanEnd::DataEnded);
}

bool Scanner::cutOffBehind(std::int64_t p) const {
    // The end of the sound and the unit's own length word read as one (H.265's type-0 words are
    // 00 01): a slice whose whole header parses starts inside this candidate's length word.
    for (std::int64_t at = p + 1; at < p + 4 && window_.valid() - at >= 8; ++at) {
        const Candidate later = judge_.judge(window_.data() + at, window_.valid() - at);
        if (later.admission != Admission::Refused && later.picture && later.headerRead && later.parsed) return true;
    }
    return false;
}

void Scanner::take(std::int64_t p, const Candidate& c) {
    streamEnd_ = window_.base() + p + 4 + std::int64_t(c.length);
    run_.packets.addVideo(c.type, run_.formats.video);
    if (c.picture) {
        judge_.noteTaken(c);
        writeSlice(p, c);
    } else {
        holdUnit(p, c);
    }
}

void Scanner::holdUnit(std::int64_t p, const Candidate& c) {
    const std::int64_t payload = p + 4;
    const std::int64_t end = payload + c.length;
    const std::int64_t at = window_.base() + p;
    if (end <= window_.valid()) {
        writer_.hold(window_.data() + payload, c.length, c.type, at, at + 4 + c.length, false);
        pos_ = end;
        return;
    }
    std::vector<std::uint8_t> bytes(c.length);
    const std::int64_t got = window_.view().copy(payload, bytes.data(), c.length);
    if (got < 0) {
        stopWith(ScanEnd::SourceFailed);
        return;
    }
    writer_.hold(bytes.data(), got, c.type, at, at + 4 + c.length, false);
    run_.sharedFlag = true;
    restartAt(window_.base() + end);
}

void Scanner::writeSlice(std::int64_t p, const Candidate& c) {
    const std::int64_t payload = p + 4;
    const std::int64_t end = payload + c.length;
    std::uint8_t* data = window_.data();
    writer_.startPicture(window_.base() + p, opensPicture(data + payload, run_.hevc()));
    if (end > window_.valid()) return writeSlicePastChunk(p, c);
    // A large picture is copied file to file by the system; the bytes stay the buffer's.
    writer_.copyFrom(run_.source.descriptor(), window_.base() + payload, data + payload, c.length);
    run_.videoTotal += c.length;
    if (previewOn()) previewSlice(c, data + payload, c.length, {});
    writer_.endPicture();
    if (writer_.failed()) stopWith(ScanEnd::VideoWriteFailed);
    pos_ = end;
}

// The packet passes the chunk's end: the rest comes straight from the file, and the next chunk
// starts right after the packet.
void Scanner::writeSlicePastChunk(std::int64_t p, const Candidate& c) {
    const std::int64_t payload = p + 4;
    const bool preview = previewOn();
    std::uint8_t* data = window_.data();
    const std::int64_t inBuffer = window_.valid() - payload;
    writer_.write(data + payload, inBuffer);
    std::vector<std::uint8_t> extra;
    std::int64_t rest = c.length - inBuffer;
    std::int64_t written = inBuffer;
    const std::int64_t after = window_.base() + payload + c.length;
    while (rest > 0 && !ended_) {
        const std::int64_t got = run_.source.read(copy_.data(), std::min(rest, kCopyPiece));
        if (got < 0) {
            stopWith(ScanEnd::SourceFailed);
            return;
        }
        if (got == 0) break;  // the file shrank under the scan
        writer_.write(copy_.data(), got);
        if (preview && written - inBuffer + got <= kPreviewExtraLimit)
            extra.insert(extra.end(), copy_.data(), copy_.data() + got);
        written += got;
        rest -= got;
    }
    run_.videoTotal += written;
    if (preview) previewSlice(c, data + payload, inBuffer, extra);
    writer_.endPicture();
    if (writer_.failed()) stopWith(ScanEnd::VideoWriteFailed);
    run_.sharedFlag = true;
    restartAt(after);
}

void Scanner::previewSlice(const Candidate& c, const std::uint8_t* payload, std::int64_t length,
                           const std::vector<std::uint8_t>& extra) {
    const std::uint8_t* more = extra.empty() ? nullptr : extra.data();
    if (c.type == 1)
        hooks_.preview->queueSlicePreview(payload, std::size_t(length), more, extra.size());
    else
        hooks_.preview->queuePreviewPacket(payload, std::size_t(length), more, extra.size(), c.type);
}

void Scanner::skipPacket(std::int64_t p, std::int64_t skip) {
    if (p + skip <= window_.valid()) {
        pos_ = p + skip;
        return;
    }
    restartAt(window_.base() + p + skip);
}

void Scanner::releaseHeld(std::int64_t at) {
    if (!writer_.standsRightBefore(at)) {
        writer_.dropHeld();
        return;
    }
    writer_.releaseHeld([this](const std::uint8_t* payload, std::int64_t length) {
        std::uint8_t word[4];
        mp4::putBe32(word, std::uint32_t(length));
        junk_.appendCopy(window_.data(), word, 4);
        junk_.appendCopy(window_.data(), payload, length);
    });
    junkBeforeHeld_ = 0;
}

void Scanner::refuseRange(std::int64_t p, std::int64_t count) {
    // Neither limit changes while positions are refused, so one test stands for all of them.
    if ((run_.audio.droppedBytes > kAudioLimit || run_.audio.audioTotal > kAudioLimit) &&
        run_.audio.chunkSampleCount == 0 && run_.videoTotal <= kVideoLimit) {
        stopWith(ScanEnd::AudioWithoutVideo);
        return;
    }
    if (writer_.holdsUnits()) releaseHeld(window_.base() + p);
    // The tail of a stretch just passed over is dropped with it, not made the start of a run.
    if (junk_.empty()) {
        const std::int64_t tail = std::min(count, regions_.tailFrom(window_.base() + p));
        p += tail;
        count -= tail;
        pos_ = p;
    }
    while (count > 0) {
        // A run this long holds no usable audio (a hole the card left, a damaged stretch): it is
        // dropped but for the sound at its start (the junk came after it), and the pictures behind
        // it are still to be found.
        if (junk_.length() >= kJunkLimit) {
            handJunk(true);
            if (ended_) return;
        }
        const std::int64_t taken = std::min(count, kJunkLimit - junk_.length());
        junk_.append(window_.data(), p, taken);
        p += taken;
        count -= taken;
        pos_ = p;
    }
}

void Scanner::refuseScreened(std::int64_t p) {
    // The positions after p get nothing from step() but the screen's answer and the stop poll,
    // up to the next one at which progress is due.
    const std::int64_t end = std::min(
        {limit_, window_.valid() - PositionScreen::kBytes + 1, progress_.nextDue() - window_.base()});
    const std::uint8_t* data = window_.data();
    const PositionScreen& screen = judge_.screen();
    // The stop request is polled a stretch at a time: a position costs a few instructions.
    constexpr std::int64_t kPollEvery = 4096;
    std::int64_t q = p + 1;
    while (q < end && !stopRequested()) {
        const std::int64_t stretchEnd = std::min(end, q + kPollEvery);
        while (q < stretchEnd && !screen.mayStart(data + q)) ++q;
        if (q < stretchEnd) break;
    }
    refuseRange(p, q - p);
}

bool Scanner::constantRefused(std::uint8_t value) const {
    constexpr std::int64_t kWindow = ConstantRegions::kWindow;
    const std::vector<std::uint8_t> stretch(static_cast<std::size_t>(4 * kWindow), value);
    const std::int64_t at = 2 * kWindow;
    // A camera track's sample known by this first word would be matched depending on the run,
    // and an announced junk length changes what follows.
    AtomCheck atom;
    if (judge_.packetOtherThanUnitAt(stretch.data(), std::int64_t(stretch.size()), at, atom) ||
        atom.announcedJunk >= 0)
        return false;
    const std::uint32_t word = mp4::be32(stretch.data() + at);
    const int type = mp4::nalTypeOf(value, run_.hevc());
    // The word and size tests alone (the slice check needs a header).
    return word == 0 || (value & 0x80) != 0 || word > judge_.longestAdmitted(type);
}

bool Scanner::passConstantRegion(std::int64_t p) {
    ConstantRegions::Pass pass;
    const std::int64_t last = std::min(limit_, progress_.nextDue() - window_.base());
    if (!regions_.at(window_.data(), p, window_.base(), window_.valid(), last, soundRunBound(run_.audio),
                     [this](std::uint8_t value) { return constantRefused(value); }, pass))
        return false;
    if (pass.entered) {
        // The run before the stretch is decided alone: sound that ends at it is kept, with the
        // units held right before the stretch, which lead no picture.
        if (writer_.holdsUnits()) releaseHeld(window_.base() + p);
        handJunk(true);
        if (ended_) return true;
        run_.packets.addSkip();
    }
    pos_ = pass.to;
    return true;
}

}  // namespace

ScanEnd runScan(RepairRun& run, std::int64_t chunkBytes, const ScanHooks& hooks) {
    Scanner scanner(run, chunkBytes, hooks);
    const ScanEnd end = scanner.scan();
    run.pictureEnd = scanner.pictureEnd();
    return end;
}
