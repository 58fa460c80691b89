// The header finder's searches for parameter sets: configuration records (avcC, hvcC), Annex B
// pairs, length-prefixed pairs behind the media data start, and the marked layout. Every length
// read from the file is bounded by the window.
#include <algorithm>

#include "analysis/header_finder.h"
#include "analysis/header_window.h"

using namespace headerwindow;

namespace {

constexpr std::uint32_t kSpsType = 7;
constexpr std::uint32_t kPpsType = 8;

bool isStartCode4(const Window& w, std::uint64_t pos) { return matches(w, pos, "\x00\x00\x00\x01", 4); }
bool isStartCode3(const Window& w, std::uint64_t pos) { return matches(w, pos, "\x00\x00\x01", 3); }

FoundParameterSet entry(const std::string& text, int width, int height) {
    return FoundParameterSet{QString::fromLatin1(text.c_str()), width, height};
}

bool inRange(std::uint64_t value, std::uint64_t low, std::uint64_t high) { return value >= low && value <= high; }

}  // namespace

void clsHeaderFinder::extractAvcConfig(const Window& w) {
    if (w.size() < 22) return;
    const std::uint64_t end = w.size() - 21;
    for (std::uint64_t tag = findBytes(w, 4, end, "avcC", 4); tag < end; tag = findBytes(w, tag + 1, end, "avcC", 4)) {
        const std::uint32_t boxSize = be32(w, tag - 4);
        if (boxSize < 4 || boxSize - 4 > 1499) continue;
        isH264 = true;
        const std::uint32_t spsLength = be16(w, tag + 10);
        const std::vector<std::uint8_t> sps = bytesAt(w, tag + 12, spsLength);
        const std::uint32_t ppsLength = be16(w, tag + 13 + spsLength);
        const std::vector<std::uint8_t> pps = bytesAt(w, tag + 15 + spsLength, ppsLength);
        std::string text = annexBText(sps) + annexBText(pps);
        // Further units in the rest of the box; the box is at most 1,503 bytes.
        for (std::int64_t q = std::int64_t(spsLength) + ppsLength + 15; q < std::int64_t(boxSize) - 7;) {
            const std::uint32_t length = be16(w, tag + q);
            if (length > 2 && q + length < std::int64_t(boxSize) - 4) {
                text += annexBText(bytesAt(w, tag + q + 2, length));
                q += length + 2;
            } else {
                ++q;
            }
        }
        const PairParse parse = parsePair(sps, &pps, false);
        foundParameterSets.push_back(entry(text, parse.width, parse.height));
    }
}

void clsHeaderFinder::extractHevcConfig(const Window& w) {
    if (w.size() < 22) return;
    const std::uint64_t end = w.size() - 21;
    for (std::uint64_t tag = findBytes(w, 0, end, "hvcC", 4); tag < end; tag = findBytes(w, tag + 1, end, "hvcC", 4)) {
        isHEVC = true;
        // The record behind the tag, cut at the window's end; no box size before the tag gives none.
        const std::uint32_t boxSize = tag >= 4 ? be32(w, tag - 4) : 0;
        const std::vector<std::uint8_t> record = bytesAt(w, tag + 4, boxSize >= 8 ? boxSize - 8 : 0);
        std::string text;
        if (record.size() > 23) {
            std::uint64_t q = 23;
            for (int unit = 0;; ++unit) {
                if (unit < 3) q += 3;  // array type byte and unit count
                if (q + 2 > record.size()) break;
                const std::uint32_t length = be16(record, q);
                if (q + 2 + length > record.size()) break;
                text += annexBText(bytesAt(record, q + 2, length));
                q += 2 + length;
            }
        }
        foundParameterSets.push_back(entry(text, 0, 0));
    }
}

void clsHeaderFinder::extractAnnexBParameterSets(const Window& w) {
    constexpr std::uint64_t kMaxSps = 254;
    constexpr std::uint64_t kMaxPps = 49;
    if (w.size() < 4) return;
    const std::uint64_t end = w.size() - 3;
    constexpr char kStartCode[] = "\x00\x00\x00\x01";
    for (std::uint64_t s = findBytes(w, 0, end, kStartCode, 4); s < end; s = findBytes(w, s + 1, end, kStartCode, 4)) {
        // The next four-byte start code, looked for only as far as an SPS may reach.
        std::uint64_t k = s + 1;
        while (k <= s + 4 + kMaxSps && !isStartCode4(w, k) && k + 4 <= w.size()) ++k;
        if (!isStartCode4(w, k) || !inRange(k - s - 4, 1, kMaxSps)) continue;
        // The end of the following unit: the first start code behind a payload of 1 to 49 bytes.
        std::uint64_t m = 5;
        while (m <= 4 + kMaxPps && !isStartCode3(w, k + m) && !isStartCode4(w, k + m)) ++m;
        if (m > 4 + kMaxPps) continue;
        const std::vector<std::uint8_t> sps = bytesAt(w, s + 4, k - s - 4);
        const std::vector<std::uint8_t> pps = bytesAt(w, k + 4, m - 4);
        const PairParse parse = parsePair(sps, &pps, true);
        if (parse.spsType != kSpsType || parse.ppsType != kPpsType) continue;
        foundParameterSets.push_back(entry(annexBText(sps) + annexBText(pps), parse.width, parse.height));
    }
}

void clsHeaderFinder::extractLengthPrefixedParameterSets(const Window& window, std::size_t from) {
    if (from >= window.size()) return;
    const Window w(window.begin() + from, window.end());
    if (w.size() < 5) return;
    for (std::uint64_t i = 0; i + 4 < w.size(); ++i) {
        // A length of at most 254 starts with three zero bytes: most positions end here.
        if (w[i] != 0 || w[i + 1] != 0 || w[i + 2] != 0) continue;
        const std::uint32_t spsLength = be32(w, i);
        if (!inRange(spsLength, 1, 254) || !inside(w, i + 4, spsLength)) continue;
        const std::uint32_t ppsLength = be32(w, i + 4 + spsLength);
        const bool ppsFits = inRange(ppsLength, 1, 49) && inside(w, i + 8 + spsLength, ppsLength);
        const std::vector<std::uint8_t> sps = bytesAt(w, i + 4, spsLength);
        const std::vector<std::uint8_t> pps = bytesAt(w, i + 8 + spsLength, ppsFits ? ppsLength : 0);
        const PairParse parse = parsePair(sps, ppsFits ? &pps : nullptr, true);
        if (parse.spsType != kSpsType || parse.ppsType != kPpsType) continue;
        foundParameterSets.push_back(entry(annexBText(sps) + annexBText(pps), parse.width, parse.height));
        return;
    }
}

void clsHeaderFinder::extractMarkedParameterSets(const Window& w) {
    if (w.size() < 153) return;
    const std::uint64_t end = w.size() - 152;
    constexpr char kMark[] = "\x47\x50\x03\x01";
    for (std::uint64_t i = findBytes(w, 0, end, kMark, 4); i < end; i = findBytes(w, i + 1, end, kMark, 4)) {
        const std::uint32_t spsLength = be32(w, i + 16);
        if (!inRange(spsLength, 1, 254) || !inside(w, i + 20, spsLength)) continue;
        // The PPS length word: the first of three places whose value lies in 1..50.
        std::uint64_t word = i + spsLength + 36;
        if (!inRange(be32(w, word), 1, 50)) word = inRange(be32(w, i + spsLength + 31), 1, 50) ? i + spsLength + 31 : i + spsLength + 32;
        const std::uint32_t ppsLength = be32(w, word);
        if (!inRange(ppsLength, 1, 49) || !inside(w, word + 4, ppsLength)) continue;
        const std::vector<std::uint8_t> sps = bytesAt(w, i + 20, spsLength);
        const std::vector<std::uint8_t> pps = bytesAt(w, word + 4, ppsLength);
        const PairParse parse = parsePair(sps, &pps, true);
        if (parse.spsType != kSpsType || parse.ppsType != kPpsType) continue;
        foundParameterSets.push_back(entry(annexBText(sps) + annexBText(pps), parse.width, parse.height));
        return;
    }
}
