#include "analysis/header_finder.h"

#include <QFile>

#include <algorithm>
#include <fstream>

#include "analysis/header_window.h"
#include "mp4/regular_file.h"
#include "repair/packet_checks.h"

using namespace headerwindow;

namespace {

constexpr std::uint64_t kFirstWindow = 52428800;  // 50 MiB, searched a piece at a time
constexpr std::uint64_t kSearchLimit = 50000000;
constexpr std::uint64_t kWindow = 4194304;         // 4 MiB

// Up to `length` bytes at `offset`, from a clear stream state; none when unreadable.
Window readWindow(std::ifstream& file, std::uint64_t offset, std::uint64_t length) {
    Window window;
    if (!file.is_open()) return window;
    file.clear();
    file.seekg(std::streamoff(offset));
    if (!file) return window;
    window.resize(length);
    file.read(reinterpret_cast<char*>(window.data()), std::streamsize(length));
    window.resize(std::size_t(std::max<std::streamsize>(file.gcount(), 0)));
    return window;
}

// Length-prefixed access unit delimiters mark media data. The search looks for their length 2
// and header byte; the scan's own test decides on the primary_pic_type behind them.
constexpr char kDelimiterHead[] = "\x00\x00\x00\x02\x09";

// Bytes behind a search piece that the tests at its last positions read: the delimiter's six,
// the brand text's nine.
constexpr std::uint64_t kPieceOverlap = 16;

}  // namespace

std::string byteToHex(std::uint8_t byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    return {kDigits[byte >> 4], kDigits[byte & 15]};
}

clsHeaderFinder::clsHeaderFinder(QString path) : path(std::move(path)) {}

std::vector<FoundParameterSet> clsHeaderFinder::findHeaders() {
    // Only a regular file is opened: a FIFO would block here until a writer came.
    const std::string name = QFile::encodeName(path).toStdString();
    std::ifstream file;
    if (mp4::isRegularFile(name)) file.open(name, std::ios::binary);
    std::uint64_t size = 0;
    if (file.is_open()) {
        file.seekg(0, std::ios::end);
        const std::streamoff end = file.tellg();
        size = end > 0 ? std::uint64_t(end) : 0;
    }
    findBoxStarts(file, size);
    const Window head = readWindow(file, 0, std::min(size, kWindow));
    const Window tail = size >= kWindow ? readWindow(file, size - kWindow, kWindow) : Window{};
    extractAvcConfig(head);
    if (!tail.empty()) extractAvcConfig(tail);
    extractHevcConfig(head);
    if (!tail.empty()) extractHevcConfig(tail);
    if (!head.empty()) {
        extractAnnexBParameterSets(head);
        extractLengthPrefixedParameterSets(head, std::size_t(mdatOffset));
    }
    extractMarkedParameterSets(head);
    return foundParameterSets;
}

void clsHeaderFinder::findBoxStarts(std::ifstream& file, std::uint64_t size) {
    mdatFound = false;
    ftypFound = false;
    const std::uint64_t windowEnd = std::min(size, kFirstWindow);
    const std::uint64_t limit = std::min(windowEnd, kSearchLimit);
    bool mediaData = false;
    bool fileType = false;
    // No position at or past the limit is tested: no piece there is read.
    for (std::uint64_t from = 0; from < limit && !(mediaData && fileType); from += kSearchPiece) {
        // A piece and the bytes behind it that the tests at its last positions read.
        const Window piece = readWindow(file, from, std::min(kSearchPiece + kPieceOverlap, windowEnd - from));
        if (piece.empty()) return;
        if (!mediaData) mediaData = findMediaDataStart(piece, from, limit);
        if (!fileType) fileType = findFileType(piece, from, limit);
    }
}

namespace {

// The positions of `piece`, which starts at `from` in the file, that a search tests: those of
// the piece itself, with `reach` bytes from each one before the search limit.
std::uint64_t positionsBefore(std::uint64_t from, std::uint64_t limit, std::uint64_t reach) {
    const std::uint64_t end = limit > from + reach ? limit - from - reach : 0;
    return std::min(end, clsHeaderFinder::kSearchPiece);
}

}  // namespace

bool clsHeaderFinder::findMediaDataStart(const Window& piece, std::uint64_t from, std::uint64_t limit) {
    const std::uint64_t end = positionsBefore(from, limit, 6);
    const std::uint64_t box = findBytes(piece, 0, end, "mdat", 4);
    // The first delimiter whose primary picture type byte is one of the three.
    std::uint64_t delimiter = findBytes(piece, 0, box, kDelimiterHead, 5);
    while (delimiter < box && !isAudPacket(piece.data(), std::int64_t(piece.size()), std::int64_t(delimiter)))
        delimiter = findBytes(piece, delimiter + 1, box, kDelimiterHead, 5);
    if (delimiter < box) {
        mdatOffset = int(from + delimiter);
        return true;
    }
    if (box == end) return false;
    mdatFound = true;
    mdatOffset = int(from + box + 4);
    return true;
}

bool clsHeaderFinder::findFileType(const Window& piece, std::uint64_t from, std::uint64_t limit) {
    const std::uint64_t end = positionsBefore(from, limit, 4);
    const std::uint64_t i = findBytes(piece, 0, end, "ftyp", 4);
    if (i == end) return false;
    ftypFound = true;
    ftypOffset = int(from + i + 4);
    // "ftyp", the major brand and the first byte of the minor version; bytes 6 to 9 that are
    // 00 or a space end the text (bytes behind the window count as 00).
    std::vector<std::uint8_t> text = bytesAt(piece, i, 9);
    text.resize(9, 0);
    for (int k = 5; k < 9; ++k)
        if ((text[k] & ~0x20) == 0) text[k] = 0;
    const auto textEnd = std::find(text.begin(), text.end(), 0);
    brandText.assign(text.begin(), textEnd);
    return true;
}
