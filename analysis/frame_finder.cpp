#include "analysis/frame_finder.h"

#include <algorithm>

#include "mp4/byte_order.h"
#include "mp4/nal_header.h"
#include "reference/records.h"
#include "repair/packet_checks.h"
#include "repair/special_packets.h"

namespace {

// Container boxes that may lie inside damaged media data (the scan's) are stepped over whole
// when no longer than this.
constexpr std::uint32_t kMaxBoxSize = 16777214;

class Walk {
public:
    Walk(const FrameWindow& w, const DiagPreset& preset, const PresetTraits& camera)
        : bytes_(w.bytes), n_(w.bytesRead), preset_(preset), camera_(camera) {}

    bool fits(std::int64_t p, std::int64_t count) const { return p >= 0 && count <= n_ - p; }

    // The walk calls these at every unknown byte: the length word decides most cases at once.
    bool isDelimiter(std::int64_t p, std::uint32_t length) const { return length == 2 && isAudPacket(bytes_, n_, p); }

    bool isStepOverBox(std::int64_t p, std::uint32_t length) const {
        std::uint32_t code = 0;
        return length <= kMaxBoxSize && isContainerBox(bytes_, n_, p, code);
    }

    std::int64_t specialSkip(std::int64_t p, std::uint32_t length) const {
        AtomCheck check;
        specificAtomsChecker(bytes_, n_, p, length, camera_, AtomsVariant::Diagnostic, check);
        return check.skip;
    }

    // The type of a unit of `length` bytes at p + 4 that the preset recognises, or -1.
    int recognisedType(std::int64_t p, std::uint32_t length) const {
        if (length == 0 || !fits(p + 4, 1)) return -1;
        const std::uint8_t b = bytes_[p + 4];
        if (b & 0x80) return -1;
        const int type = mp4::nalTypeOf(b, preset_.isHEVC);
        const NalTypeStats* entry = preset_.entry(type);
        if (!entry || std::int32_t(entry->maxSize) <= 0 || entry->headerWords.empty()) return -1;
        if (!fits(p + 4, mp4::headerWordBytes(type, preset_.isHEVC))) return -1;
        const std::uint32_t word = mp4::headerWordOf(bytes_ + p + 4, type, preset_.isHEVC);
        const auto& words = entry->headerWords;
        if (std::find(words.begin(), words.end(), word) == words.end()) return -1;
        std::int32_t lower = std::int32_t(entry->minSize);
        if (!preset_.isHEVC || type == 1 || type == 5) lower /= 2;
        if (std::uint32_t(lower) > length || length > entry->maxSize) return -1;
        return type;
    }

    // Counts only what lies inside the bytes read, so the score cannot pass 100.
    std::int64_t inside(std::int64_t p, std::int64_t count) const { return std::min(count, n_ - p); }

private:
    const std::uint8_t* bytes_;
    std::int64_t n_;
    const DiagPreset& preset_;
    const PresetTraits& camera_;
};

}  // namespace

PresetMatch walkPreset(const FrameWindow& window, const DiagPreset& preset, const std::string& cameraName,
                       const std::atomic<bool>& stopRequested) {
    PresetMatch match;
    const std::int64_t n = window.bytes ? window.bytesRead : 0;
    const PresetTraits camera = PresetTraits::fromName(cameraName);
    const Walk walk(window, preset, camera);
    std::vector<UnitRecord>& units = match.units;
    std::int64_t recognised = 0;
    for (std::int64_t p = std::max<std::int64_t>(window.mdatOffset, 0); p < n;) {
        if (stopRequested.load(std::memory_order_relaxed)) return PresetMatch{0, {}, true};
        if (!walk.fits(p, 4)) break;  // not even a length word: the rest is unknown bytes
        const std::uint32_t length = mp4::be32(window.bytes + p);
        // A delimiter takes precedence over whatever the special-packet rules would say.
        if (walk.isDelimiter(p, length)) {
            units.push_back({9, std::int32_t(p + 4), 2});
            recognised += 6;
            p += 6;
            continue;
        }
        std::int64_t skip = walk.specialSkip(p, length);
        if (walk.isStepOverBox(p, length)) skip = length;
        if (skip > 0) {
            recognised += walk.inside(p, skip);
            p += skip;
            continue;
        }
        const int type = walk.recognisedType(p, length);
        if (type < 0) {
            ++p;
            continue;
        }
        units.push_back({type, std::int32_t(p + 4), std::int32_t(length)});
        recognised += walk.inside(p, std::int64_t(length) + 4);
        p += std::int64_t(length) + 4;
    }
    const std::int64_t span = std::max(window.windowSize, n) - window.mdatOffset;
    if (window.mdatOffset < n && span > 0) match.score = float(double(recognised) / double(span) * 100.0);
    return match;
}

