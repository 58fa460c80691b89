#include "analysis/header_window.h"

#include <algorithm>
#include <cstring>

#include "media/h264_parser.h"

namespace headerwindow {

namespace {

std::uint32_t byteAt(const Window& w, std::uint64_t pos) { return pos < w.size() ? w[pos] : 0; }

std::vector<std::uint8_t> candidateBuffer(const std::vector<std::uint8_t>& unit) {
    std::vector<std::uint8_t> buffer{0, 0, 0, 1};
    buffer.insert(buffer.end(), unit.begin(), unit.end());
    return buffer;
}

void parseCandidate(H264Parser& parser, const std::vector<std::uint8_t>& unit) {
    const std::vector<std::uint8_t> buffer = candidateBuffer(unit);
    parser.parseFirstNalUnit(buffer.data(), int(buffer.size()));
}

}  // namespace

std::uint32_t be16(const Window& w, std::uint64_t pos) { return byteAt(w, pos) << 8 | byteAt(w, pos + 1); }

std::uint32_t be32(const Window& w, std::uint64_t pos) { return be16(w, pos) << 16 | be16(w, pos + 2); }

std::uint64_t findBytes(const Window& w, std::uint64_t from, std::uint64_t end, const char* bytes, std::size_t count) {
    // A match at a position below `end` ends before end - 1 + count, and inside the window.
    if (count == 0 || from >= end || from >= w.size()) return end;
    const std::uint64_t last = std::min<std::uint64_t>(w.size(), end - 1 + count);
    if (last < from + count) return end;
    const void* hit = memmem(w.data() + from, last - from, bytes, count);
    return hit ? std::uint64_t(static_cast<const std::uint8_t*>(hit) - w.data()) : end;
}

std::vector<std::uint8_t> bytesAt(const Window& w, std::uint64_t pos, std::uint64_t length) {
    if (pos >= w.size()) return {};
    const std::uint64_t end = pos + std::min<std::uint64_t>(length, w.size() - pos);
    return std::vector<std::uint8_t>(w.begin() + pos, w.begin() + end);
}

std::string annexBText(const std::vector<std::uint8_t>& unit) {
    std::string text = "00000001";
    text.reserve(8 + 2 * unit.size());
    for (std::uint8_t b : unit) text += byteToHex(b);
    return text;
}

PairParse parsePair(const std::vector<std::uint8_t>& sps, const std::vector<std::uint8_t>* pps, bool stopUnlessSps) {
    PairParse result;
    H264Parser parser;
    parseCandidate(parser, sps);
    result.spsType = parser.getNalUnitType();
    if (pps && (!stopUnlessSps || result.spsType == 7)) {
        parseCandidate(parser, *pps);
        result.ppsType = parser.getNalUnitType();
    }
    result.width = parser.getPictureWidth();
    result.height = parser.getPictureHeight();
    return result;
}

}  // namespace headerwindow
