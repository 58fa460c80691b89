#pragma once
// The candidate judge: whether a NAL unit candidate at a scan position is what it looks like. It
// holds every admission rule of a run in one place (the reference's ranges and header words, the
// camera rules' ranges, the halved minimum, the three-byte words, the Canon words, the slice
// header against the reference's parameter sets) and judges a candidate by what follows it: the
// scan, its look-ahead and the decision on a unit the file cuts off all ask this one piece.
//
// A candidate is never confirmed by the absence of anything recognisable inside it: random bytes
// hold nothing recognisable either. What confirms is a packet recognised right behind it, a run
// of the stream's sound and then the stream, the exact end of the data, or for a slice the
// stream's own frame numbering going on. A long candidate that had to be confirmed is refused
// when the stream (a chain of two recognised packets) goes on inside it.
#include <array>
#include <bitset>
#include <cstdint>
#include <string>

#include "repair/packet_checks.h"
#include "repair/position_screen.h"
#include "repair/slice_header_check.h"
#include "repair/special_packets.h"

struct RepairRun;

enum class Admission {
    Refused,
    Firm,     // its word and size are the reference's or a rule's own
    Confirm,  // taken only when what follows it (or the stream's numbering) confirms it
};

struct Candidate {
    std::uint32_t length = 0;
    int type = 0;
    Admission admission = Admission::Refused;
    bool picture = false;         // a coded slice
    bool beyondMeasured = false;  // longer than every unit of its type the reference showed
    // A slice whose header was tried against the reference's parameter sets on all the bytes it
    // may take. Near the end of the data fewer may be there: a header that fits in them parses
    // all the same, one that does not says nothing.
    bool headerRead = false;
    bool parsed = false;  // a slice whose header parsed: `slice` holds its place
    SliceInfo slice;
};

class CandidateJudge {
public:
    explicit CandidateJudge(const RepairRun& run);

    // The candidate whose length word is at `b`, `avail` bytes readable from it (at least 8).
    Candidate judge(const std::uint8_t* b, std::int64_t avail) const;
    // The longest length word judge() can admit for `type`.
    std::uint64_t longestAdmitted(int type) const;
    // The cheap look that most positions of sound and junk fail.
    const PositionScreen& screen() const { return screen_; }

    // Whether a delimiter, a box, a camera track's sample or a camera special packet starts at
    // q of `data` (`valid` bytes); `atom` receives the special-packet check's answer.
    bool packetOtherThanUnitAt(const std::uint8_t* data, std::int64_t valid, std::int64_t q, AtomCheck& atom) const;

    // Whether what follows the candidate `c` at buffer position p of `view` confirms it. `sound`
    // allows a run of the stream's sound between it and the recognised packet. `text` receives
    // the look-ahead's result text.
    bool confirmedByNext(const ScanSource& view, std::int64_t p, const Candidate& c, const ScanValues& scan,
                         bool sound, std::string& text) const;
    // Whether the stream goes on (a packet recognised firmly, with another, or a run of sound and
    // then another, or the end of the data right behind it) from a buffer position in [from, to)
    // of `view`; reads past the buffer from the file. The answer for a search to the end of the
    // file is remembered, so that false length words in one stretch of junk cost one search
    // between them.
    bool chainWithin(const ScanSource& view, std::int64_t from, std::int64_t to) const;

    // Whether a parsed slice continues the numbering of the slices taken so far.
    bool continuesStream(const SliceInfo& slice) const;
    // Whether the stream has shown that its slices parse: then one whose header does not is no
    // slice of it, whatever its word and size.
    bool slicesParse() const {
        return takenSlices_ >= kSlicesShown && parsedSlices_ * 20 >= takenSlices_ * 19;
    }
    // Records a taken slice's numbering.
    void noteTaken(const Candidate& c);

private:
    bool listed(const std::uint8_t* unit, std::int64_t avail, int type) const;
    Admission admitSlice(const std::uint8_t* unit, std::int64_t avail, Candidate& c) const;
    Admission admitOther(const std::uint8_t* unit, std::int64_t avail, Candidate& c) const;
    Admission byRanges(Candidate& c, bool listed) const;
    // Bytes of the firmly recognised packet that starts at `b` (`avail` readable), or 0 for none.
    std::int64_t firmPacketAt(const std::uint8_t* b, std::int64_t avail) const;
    bool recognisedAt(const ScanSource& view, std::int64_t q, bool anyUnit) const;
    bool chainAt(const ScanSource& view, std::int64_t q) const;
    // Where the stream goes on behind a run of sound that starts at n: the sound run must be one
    // the stream's sound can be.
    bool soundThenStream(const ScanSource& view, std::int64_t n) const;

    const RepairRun& run_;
    const bool hevc_;
    PositionScreen screen_;
    // NAL header bytes of each type's listed words: a slice known by its header alone must carry
    // one of them (the same nal_ref_idc as the reference's slices of its type), unless the
    // reference showed no slice of the type at all.
    std::array<std::bitset<256>, kNalTypeCount> headerBytes_;
    std::uint64_t longestPicture_ = 0;

    static constexpr std::uint64_t kSlicesShown = 16;
    std::uint64_t takenSlices_ = 0;
    std::uint64_t parsedSlices_ = 0;
    bool haveFrameNum_ = false;
    std::uint32_t frameNum_ = 0;
    bool havePoc_ = false;
    std::uint32_t pocLsb_ = 0;

    mutable std::int64_t chainSearchFrom_ = -1;  // a search to the end of the file from here ...
    mutable std::int64_t chainFoundAt_ = -1;     // ... found the first chain here (-1: none)
};
