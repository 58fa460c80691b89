#pragma once
// A cheap first look at a scan position: whether anything the scan recognises could start there
// (a camera special packet, a delimiter, a box, a sample of a camera track, a NAL unit within
// its type's size limit). Built once per run from the completed rules. Most positions of audio
// and other junk fail it, and the scan then adds the byte to the junk run without asking the
// detectors one by one. It may answer "maybe" too often, never "no" wrongly.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "reference/records.h"
#include "repair/big_endian.h"
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
    // Lets through length words up to `maxSize` for NAL type `type` (sizes the scan admits
    // beyond the type's range).
    void allowLength(int type, std::uint32_t maxSize) {
        if (type >= 0 && type < kNalTypeCount) maxSize_[type] = std::max(maxSize_[type], maxSize);
    }

    // False only when nothing the scan recognises can start at `b` (kBytes valid bytes).
    VANTOREL_HOT_INLINE bool mayStart(const std::uint8_t* b) const {
        const std::uint32_t w0 = be32(b);
        const std::uint32_t w1 = be32(b + 4);
        if (w1 == w0 || w1 == w0 + 1) return true;  // counting runs, repeated words
        const std::uint8_t h = b[4];
        if (w0 != 0 && (h & 0x80) == 0 && w0 <= maxSize_[hevc_ ? (h >> 1) & 0x3F : h & 0x1F]) return true;
        if (w0Words_.holds(w0) || w1Words_.holds(w1)) return true;
        return crecWord_ && be32(b + 12) == kCrec;
    }

private:
    // A set of 32-bit words: a bit per upper half first, then the sorted words.
    class WordSet {
    public:
        void assign(std::vector<std::uint32_t> words);
        VANTOREL_HOT_INLINE bool holds(std::uint32_t word) const {
            if (((upper_[word >> 22] >> ((word >> 16) & 63)) & 1) == 0) return false;
            return holdsExactly(word);
        }

    private:
        bool holdsExactly(std::uint32_t word) const;
        std::vector<std::uint64_t> upper_ = std::vector<std::uint64_t>(1024, 0);
        std::vector<std::uint32_t> words_;
    };

    bool hevc_ = false;
    static constexpr std::uint32_t kCrec = fourcc("crec");
    bool crecWord_ = false;  // the iPhone rule also looks at the fourth word
    std::uint32_t maxSize_[kNalTypeCount] = {};
    WordSet w0Words_;  // first words that some rule tests on their own
    WordSet w1Words_;  // second words that some rule tests on their own
};
