#include "analysis/header_finder.h"

#include <QFile>

#include <algorithm>
#include <fstream>

#include "analysis/header_window.h"
#include "mp4/regular_file.h"

using namespace headerwindow;

namespace {

constexpr std::uint64_t kFirstWindow = 52428800;  // 50 MiB
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

// Length-prefixed access unit delimiters (primary_pic_type 0, 1, 2) that mark media data.
const char* const kDelimiters[] = {"\x00\x00\x00\x02\x09\x10", "\x00\x00\x00\x02\x09\x30", "\x00\x00\x00\x02\x09\x50"};

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
    {
        // Sized by what the file holds, so a small file takes no 50 MiB buffer.
        const Window first = readWindow(file, 0, std::min(size, kFirstWindow));
        findMediaDataStart(first);
        findFileType(first);
    }
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

void clsHeaderFinder::findMediaDataStart(const Window& window) {
    mdatFound = false;
    const std::uint64_t limit = std::min<std::uint64_t>(window.size(), kSearchLimit);
    for (std::uint64_t i = 0; i + 6 < limit; ++i) {
        if (matches(window, i, "mdat", 4)) {
            mdatFound = true;
            mdatOffset = int(i + 4);
            return;
        }
        for (const char* delimiter : kDelimiters) {
            if (matches(window, i, delimiter, 6)) {
                mdatOffset = int(i);
                return;
            }
        }
    }
}

void clsHeaderFinder::findFileType(const Window& window) {
    ftypFound = false;
    const std::uint64_t limit = std::min<std::uint64_t>(window.size(), kSearchLimit);
    for (std::uint64_t i = 0; i + 4 < limit; ++i) {
        if (!matches(window, i, "ftyp", 4)) continue;
        ftypFound = true;
        ftypOffset = int(i + 4);
        // "ftyp", the major brand and the first byte of the minor version; bytes 6 to 9 that are
        // 00 or a space end the text (bytes behind the window count as 00).
        std::vector<std::uint8_t> text = bytesAt(window, i, 9);
        text.resize(9, 0);
        for (int k = 5; k < 9; ++k)
            if ((text[k] & ~0x20) == 0) text[k] = 0;
        const auto end = std::find(text.begin(), text.end(), 0);
        brandText.assign(text.begin(), end);
        return;
    }
}
