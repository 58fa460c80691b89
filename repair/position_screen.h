#pragma once
// A cheap first look at a scan position: whether anything the scan recognises could start there
// (a camera special packet, a delimiter, a box, a sample of a camera track, a NAL unit within
// its type's size limit). Built once per run from the completed rules. Most positions of audio
// and other junk fail it, and the scan then adds the byte to the junk run without asking the
// detectors one by one. It may answer "maybe" too often, never "no" wrongly.
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "mp4/byte_order.h"
#include "mp4/fourcc_text.h"
#include "reference/records.h"
#include "repair/preset_traits.h"

#if defined(__GNUC__)
#define VANTOREL_HOT_INLINE __attribute__((always_inline)) inline
#else
#define VANTOREL_HOT_INLINE inline
#endif

class PositionScreen {
public:
    // Bytes that mayStart reads from the position.
    static constexpr std::int64_t kBytes = 16;

    void build(const AnalysisResult& analysis, const PresetTraits& preset, bool hevc);
    // Lets through length words up to `longest[type]` for each NAL type (sizes the scan admits
    // beyond the types' ranges).
    void allowLengths(const std::array<std::uint32_t, kNalTypeCount>& longest) {
        for (int type = 0; type < kNalTypeCount; ++type) maxSize_[type] = std::max(maxSize_[type], longest[type]);
        updateHeaderLengths();
    }

    // False only when nothing the scan recognises can start at `b` (kBytes valid bytes). In junk
    // nearly every position is turned away, so the tests are made without branches first and
    // only a position that any of them lets through is looked at again.
    VANTOREL_HOT_INLINE bool mayStart(const std::uint8_t* b) const {
        const std::uint32_t w0 = mp4::be32(b);
        const std::uint32_t w1 = mp4::be32(b + 4);
        const bool run = (w1 == w0) | (w1 == w0 + 1);  // counting runs, repeated words
        // A unit within its type's size limit (0 for a header with the forbidden bit set).
        const bool unit = w0 - 1 < longestByHeader_[b[4]];
        const bool crec = crecWord_ & (mp4::be32(b + 12) == kCrec);
        if (!(run | unit | crec | w0Words_.mayHold(w0) | w1Words_.mayHold(w1))) return false;
        return run || unit || crec || w0Words_.holds(w0) || w1Words_.holds(w1);
    }

private:
    // A set of 32-bit words: a bit per upper half first, then the sorted words.
    class WordSet {
    public:
        void assign(std::vector<std::uint32_t> words);
        VANTOREL_HOT_INLINE bool mayHold(std::uint32_t word) const {
            return ((upper_[word >> 22] >> ((word >> 16) & 63)) & 1) != 0;
        }
        VANTOREL_HOT_INLINE bool holds(std::uint32_t word) const { return mayHold(word) && holdsExactly(word); }

    private:
        bool holdsExactly(std::uint32_t word) const;
        std::array<std::uint64_t, 1024> upper_{};
        std::vector<std::uint32_t> words_;
    };

    bool hevc_ = false;
    static constexpr std::uint32_t kCrec = mp4::fourcc("crec");
    bool crecWord_ = false;  // the iPhone rule also looks at the fourth word
    std::uint32_t maxSize_[kNalTypeCount] = {};
    // maxSize_ of the type each NAL header byte names, 0 for one with the forbidden bit set.
    std::array<std::uint32_t, 256> longestByHeader_{};
    void updateHeaderLengths();
    WordSet w0Words_;  // first words that some rule tests on their own
    WordSet w1Words_;  // second words that some rule tests on their own
};
