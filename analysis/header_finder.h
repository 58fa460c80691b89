#pragma once
// Finds what a diagnostic needs in the raw bytes of a possibly damaged MP4/MOV file, without
// trusting its box structure: the ftyp and media data starts, the brand, whether H.264 or H.265
// configuration records are present, and every parameter-set pair with its picture size.
#include <QString>

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// One parameter-set pair found in a damaged file.
struct FoundParameterSet {
    QString hex;     // Annex B text: "00000001" and the unit's bytes in upper-case hex, per unit
    int width = 0;   // from the sequence parameter set; 0 for H.265 records
    int height = 0;
};

// Two upper-case hexadecimal digits (10 gives "0A").
std::string byteToHex(std::uint8_t byte);

// What the header finder tells about a file besides its parameter sets; the diagnostic worker
// keeps a copy for its dialog.
struct HeaderFindings {
    bool mdatFound = false;
    int mdatOffset = 0;
    bool ftypFound = false;
    int ftypOffset = 0;
    std::string brandText;
    bool isHEVC = false;
    bool isH264 = false;
};

class clsHeaderFinder : public HeaderFindings {
public:
    explicit clsHeaderFinder(QString path);

    // The whole search; the other results stay in the fields below. Called once per object.
    std::vector<FoundParameterSet> findHeaders();

    std::vector<FoundParameterSet> foundParameterSets;
    QString path;

    // The media data and file type searches read the file's first 50 MiB in pieces of this size
    // until both have their answer: every recording's boxes start near its beginning.
    static constexpr std::uint64_t kSearchPiece = 1048576;

private:
    using Window = std::vector<std::uint8_t>;
    void findBoxStarts(std::ifstream& file, std::uint64_t size);
    // The searches over one piece starting at `from` in the file, of positions before `limit`;
    // true once they have their answer.
    bool findMediaDataStart(const Window& piece, std::uint64_t from, std::uint64_t limit);
    bool findFileType(const Window& piece, std::uint64_t from, std::uint64_t limit);
    void extractAvcConfig(const Window& window);
    void extractHevcConfig(const Window& window);
    void extractAnnexBParameterSets(const Window& window);
    void extractLengthPrefixedParameterSets(const Window& window, std::size_t from);
    void extractMarkedParameterSets(const Window& window);
};
