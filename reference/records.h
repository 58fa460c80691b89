#pragma once
// The reference description's records, shared by Ordwick (which fills and writes them) and
// Vantorel (which reads them back and repairs with them). Plain structures, no Qt.
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <unordered_set>
#include <vector>

// Number of NAL unit types counted per file (H.264 uses 0..31, H.265 0..63).
constexpr int kNalTypeCount = 64;
// minSize of a type that never saw a unit; an entry is unseen while minSize > maxSize.
constexpr std::uint32_t kUnseenMinSize = 0xFFFFFF;

// The header words of one NAL unit type in the order first seen, with a set beside the list so
// that asking for a word costs the same however many are held. A healthy reference shows a few
// words per type (no H.264 type has more than 1024 two-byte words); the list keeps at most
// kMaxHeaderWords, so a hostile file cannot make the analysis, its document or the repair that
// reads it grow without bound. Words beyond the bound are not recorded.
class HeaderWordList {
public:
    using value_type = std::uint32_t;
    using const_iterator = std::vector<std::uint32_t>::const_iterator;
    using iterator = const_iterator;
    static constexpr std::size_t kMaxHeaderWords = 1024;

    HeaderWordList() = default;
    HeaderWordList(std::initializer_list<std::uint32_t> words);
    HeaderWordList& operator=(std::initializer_list<std::uint32_t> words);

    // Adds `word` unless the list holds it already or is full; true when it was added.
    bool add(std::uint32_t word);
    // Appends `word` even when it is held (a description read back keeps what it says), while
    // the list is not full.
    void push_back(std::uint32_t word);
    bool contains(std::uint32_t word) const { return held_.count(word) != 0; }
    void clear();

    const_iterator begin() const { return words_.begin(); }
    const_iterator end() const { return words_.end(); }
    std::size_t size() const { return words_.size(); }
    bool empty() const { return words_.empty(); }
    std::uint32_t operator[](std::size_t i) const { return words_[i]; }
    const std::vector<std::uint32_t>& words() const { return words_; }

    friend bool operator==(const HeaderWordList& a, const HeaderWordList& b) { return a.words_ == b.words_; }
    friend bool operator==(const HeaderWordList& a, const std::vector<std::uint32_t>& b) { return a.words_ == b; }
    friend bool operator!=(const HeaderWordList& a, const HeaderWordList& b) { return !(a == b); }
    friend bool operator!=(const HeaderWordList& a, const std::vector<std::uint32_t>& b) { return !(a == b); }

private:
    std::vector<std::uint32_t> words_;
    std::unordered_set<std::uint32_t> held_;
};

struct NalTypeStats {
    std::uint32_t minSize = kUnseenMinSize;
    std::uint32_t maxSize = 0;
    std::int32_t type = 0;
    HeaderWordList headerWords;  // distinct, in the order first seen

    bool seen() const { return minSize <= maxSize; }
    // Adds `word` unless the list holds it already (or is full).
    void addHeaderWord(std::uint32_t word) { headerWords.add(word); }
};

struct SampleSignature {
    std::int32_t size = 0;     // the sample's size in bytes
    std::uint32_t value = 0;   // the sample's first four bytes, big-endian

    bool operator==(const SampleSignature& o) const { return size == o.size && value == o.value; }
};

struct NalEntry {
    std::int32_t type = 0;
    std::int32_t sliceType = -1;  // slice type of an H.264 type-1 unit, else -1
    std::uint32_t size = 0;
    std::uint32_t headerWord = 0;
};

struct TrackRecord {
    std::int32_t id = 0;
    std::string typeName;
    std::int32_t typeIndex = 0;           // 1 audio, 2 video, 3 system, 4 hint, 5 text, 6 JPEG, 8 subtitles
    std::uint32_t handlerType = 0;
    std::string trackName;
    std::uint32_t sampleCount = 0;
    std::uint32_t mediaTimeScale = 0;
    std::uint64_t mediaDuration = 0;
    std::uint32_t durationMs = 0;
    float trackWidth = 0;
    float trackHeight = 0;
    float frameRate = 0;
    std::int32_t sampleDescType = 0;      // 1 MPEG-4 elementary stream, 3 AVC, 4 HEVC, others
    std::uint32_t sampleDescFormat = 0;   // four-character code, first character in the high byte
    std::string sampleDescCoding;
    std::uint32_t sampleRate = 0;
    std::uint16_t sampleSize = 0;
    std::uint16_t channelCount = 0;
    std::uint8_t objectTypeIndication = 0;
    std::uint16_t sampleWidth = 0;
    std::uint16_t sampleHeight = 0;
    std::uint16_t sampleDepth = 0;
    std::uint32_t dec3DataRate = 0;
    std::uint8_t nalLengthSize = 0;
    std::string videoHeaderHex;           // "00000001" + lower-case hex, once per parameter set
    std::string codecString;
    // 7 bytes, or more with a program config element behind them (channel configuration 0).
    std::vector<std::uint8_t> adtsHeader;
    std::string audioHeaderHex;
    std::vector<NalEntry> nalList;
    std::int32_t minSize = 0;
    std::int32_t maxSize = 0;
    std::int32_t pcmSampleSize = 0;
    std::int32_t pcmSamplesPerChunk = 0;
    std::vector<SampleSignature> sampleSignatures;  // distinct, in the order first seen
};

struct AnalysisResult {
    std::string majorBrand;
    std::int32_t minorVersion = 0;
    std::uint8_t moovBeforeMdat = 0;
    std::uint32_t timeScale = 0;
    std::uint32_t durationMs = 0;
    std::uint8_t hasFragments = 0;
    std::int32_t trackCount = 0;
    std::vector<std::string> compatibleBrands;
    std::vector<TrackRecord> tracks;
    std::array<NalTypeStats, kNalTypeCount> nalStats;  // index = NAL unit type

    // Track records an analysis makes and a description may hold. Camera files have a few
    // tracks, professional ones some dozens; a movie box of thousands of empty 'trak' boxes is
    // hostile, and its records would only make the analysis, the document and the repair big.
    // `trackCount` still says how many tracks the movie has.
    static constexpr std::size_t kMaxTracks = 256;
    // Sample signatures an analysis records over all its tracks. The time-code and metadata
    // tracks of a camera show a few distinct {size, first word} pairs, a few thousand in an
    // hour's recording; a damaged or hostile track shows one per sample, enough to make the
    // description larger than the repair reads. The first tracks keep theirs: the repair asks
    // the first track of each kind first.
    static constexpr std::size_t kMaxSampleSignatures = 8192;

    // Every AnalysisResult starts with its 64 entries seeded: {16777215, 0, i, empty}.
    AnalysisResult();
};

struct MediaInfo {
    std::int32_t width = 0;
    std::int32_t height = 0;
    float fpsNum = 0;
    float fpsDen = 0;
    std::string videoCodecName;
    std::int32_t sampleRate = 0;
    std::int32_t channels = 0;
    std::string audioCodecName;
    std::int32_t bitsPerSample = 0;
    std::uint8_t littleEndian = 0;
    std::uint8_t bigEndian = 0;
    std::int32_t blockAlign = 0;
    std::int32_t pcmSampleSize = 0;       // reading side only
    std::int32_t pcmSamplesPerChunk = 0;  // reading side only
};
