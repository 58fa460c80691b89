#include "repair/reference_reader.h"

#include <QFile>
#include <boost/optional.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <algorithm>
#include <cstddef>
#include <fstream>
#include <stdexcept>
#include <streambuf>

#include "repair/audio_limits.h"
#include "repair/xml_nesting.h"

namespace pt = boost::property_tree;

namespace {

// Ends the read; never leaves readVideoPreset.
struct ReadEnded {};

// Ordwick nests six levels deep (videopreset, tracks, track, hexcode, bytes, value). A document
// nested far deeper is no description, and its parse could overflow the stack.
constexpr std::size_t kMaxNesting = 100;

// The document's bytes as a stream for the parser, without another copy of them.
class TextBuffer : public std::streambuf {
public:
    explicit TextBuffer(std::string& text) { setg(text.data(), text.data(), text.data() + text.size()); }
};

// Deletes the document when the read leaves, whichever way it leaves.
class DeleteOnExit {
public:
    explicit DeleteOnExit(const QString& path) : path_(path) {}
    ~DeleteOnExit() { QFile::remove(path_); }
    DeleteOnExit(const DeleteOnExit&) = delete;
    DeleteOnExit& operator=(const DeleteOnExit&) = delete;

private:
    QString path_;
};

std::string text(const pt::ptree& node, const char* path, const char* fallback) {
    return node.get<std::string>(path, fallback);
}

template <typename T>
T number(const pt::ptree& node, const char* path) {
    const auto child = node.get_child_optional(path);
    if (!child) throw ReadEnded{};
    const boost::optional<T> value = child->get_value_optional<T>();
    if (!value) throw ReadEnded{};
    return *value;
}

const pt::ptree& container(const pt::ptree& node, const char* path) {
    const auto child = node.get_child_optional(path);
    if (!child) throw ReadEnded{};
    return *child;
}

// The writer leaves `audio` without children for a reference without an audio track; its
// numbers then read as 0 instead of ending the read before the tracks.
std::int32_t audioNumber(const pt::ptree& audio, bool empty, const char* path) {
    return empty ? 0 : number<std::int32_t>(audio, path);
}

// A format field, which must hold a value some audio format has.
std::int32_t audioFormatNumber(const pt::ptree& audio, bool empty, const char* path, AudioField field) {
    const std::int32_t value = audioNumber(audio, empty, path);
    if (!audioFieldInRange(field, value)) throw ReadEnded{};
    return value;
}

void readTrack(const pt::ptree& node, AnalysisResult& result) {
    TrackRecord track;
    track.id = static_cast<std::int32_t>(result.tracks.size());
    track.typeName = text(node, "type", "");
    track.typeIndex = number<std::int32_t>(node, "typeidx");
    track.sampleDescType = number<std::int32_t>(node, "sampleDescType");
    track.sampleDescCoding = text(node, "sampleDescCoding", "");
    track.minSize = number<std::int32_t>(node, "minsize");
    track.maxSize = number<std::int32_t>(node, "maxsize");
    track.sampleDescFormat = static_cast<std::uint32_t>(number<std::int32_t>(node, "sampleDescFormatIDX"));
    if (track.typeName == "Audio") {
        // An audio track whose sizes were never seen admits every size.
        if (track.minSize == static_cast<std::int32_t>(kUnseenMinSize)) track.minSize = 0;
        if (track.maxSize == 0) track.maxSize = static_cast<std::int32_t>(kUnseenMinSize);
    }
    for (const auto& child : container(node, "hexcode")) {
        if (child.first != "bytes") continue;
        SampleSignature signature;
        signature.value = static_cast<std::uint32_t>(number<std::int32_t>(child.second, "value"));
        signature.size = number<std::int32_t>(child.second, "size");
        track.sampleSignatures.push_back(signature);
    }
    result.tracks.push_back(std::move(track));
}

void readPacket(const pt::ptree& node, AnalysisResult& result) {
    const std::int32_t type = number<std::int32_t>(node, "type");
    const std::int32_t min = number<std::int32_t>(node, "min");
    const std::int32_t max = number<std::int32_t>(node, "max");
    // A type outside the table names no entry: its words are still read (a malformed one ends
    // the read as anywhere else) but stored nowhere.
    NalTypeStats scratch;
    NalTypeStats& entry =
        type >= 0 && type < kNalTypeCount ? result.nalStats[static_cast<std::size_t>(type)] : scratch;
    // A negative bound cannot describe a size: the type counts as never seen, without words.
    const bool usable = min >= 0 && max >= 0;
    entry.minSize = usable ? static_cast<std::uint32_t>(min) : kUnseenMinSize;
    entry.maxSize = usable ? static_cast<std::uint32_t>(max) : 0;
    entry.headerWords.clear();
    for (const auto& child : container(node, "hexcode")) {
        if (child.first != "bytes") continue;
        const auto word = static_cast<std::uint32_t>(number<std::int32_t>(child.second, "value"));
        if (usable) entry.headerWords.push_back(word);
    }
}

void handOver(AnalysisResult& result, const MediaInfo& media, std::int32_t width, std::int32_t height,
              const std::string& videoHeader, const std::string& audioHeader) {
    if (result.trackCount <= 0) return;
    const std::size_t limit = std::min(result.tracks.size(), static_cast<std::size_t>(result.trackCount));
    bool videoDone = false;
    bool audioDone = false;
    for (std::size_t i = 0; i < limit; ++i) {
        TrackRecord& track = result.tracks[i];
        if (!videoDone && track.typeIndex == 2) {
            track.videoHeaderHex = videoHeader;
            track.trackWidth = static_cast<float>(width);
            track.trackHeight = static_cast<float>(height);
            videoDone = true;
        } else if (!audioDone && track.typeIndex == 1) {
            track.pcmSampleSize = media.pcmSampleSize;
            track.pcmSamplesPerChunk = media.pcmSamplesPerChunk;
            track.audioHeaderHex = audioHeader;
            audioDone = true;
        }
    }
}

// The document's bytes; a file larger than a description can be is not read to its end.
std::string documentText(const QString& path) {
    std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
    if (!in) throw ReadEnded{};
    constexpr std::size_t kChunk = std::size_t(1) << 16;
    std::string text;
    while (in) {
        const std::size_t had = text.size();
        text.resize(had + kChunk);
        in.read(&text[had], static_cast<std::streamsize>(kChunk));
        text.resize(had + static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxDescriptionBytes) throw ReadEnded{};
    }
    if (in.bad()) throw ReadEnded{};
    return text;
}

void readDocument(const QString& path, AnalysisResult& result, MediaInfo& media, std::string& presetName) {
    std::string document = documentText(path);
    if (xmlNestingDepth(document, kMaxNesting) > kMaxNesting) throw ReadEnded{};
    pt::ptree tree;
    {
        TextBuffer buffer(document);
        std::istream in(&buffer);
        pt::read_xml(in, tree, 0);
    }
    const pt::ptree& root = container(tree, "videopreset");

    presetName = text(root, "preset", "");
    const auto width = number<std::int32_t>(root, "videoWidth");
    const auto height = number<std::int32_t>(root, "videoHeight");
    media.width = width;
    media.height = height;
    media.videoCodecName = text(root, "videocodec", "");
    const auto fpsDen = number<float>(root, "videoFps_den");
    const auto fpsNum = number<float>(root, "videoFps_num");
    media.fpsDen = fpsDen;
    media.fpsNum = fpsNum;

    static const pt::ptree kNoAudio;
    const auto audioNode = root.get_child_optional("audio");
    const pt::ptree& audio = audioNode ? *audioNode : kNoAudio;
    // Without any `audio` element the numbers stay required, as for every other element.
    const bool audioEmpty = audioNode && audioNode->empty();
    media.audioCodecName = text(audio, "audiocodec", "");
    const std::string bigEndian = text(audio, "audio_big_endian", "false");
    const std::string littleEndian = text(audio, "audio_little_endian", "false");
    media.bigEndian = bigEndian == "true" ? 1 : 0;
    media.littleEndian = littleEndian == "true" ? 1 : 0;
    media.bitsPerSample = audioFormatNumber(audio, audioEmpty, "bitpersample", AudioField::BitsPerSample);
    media.channels = audioFormatNumber(audio, audioEmpty, "channel", AudioField::Channels);
    media.sampleRate = audioFormatNumber(audio, audioEmpty, "SampleRate", AudioField::SampleRate);
    media.blockAlign = audioFormatNumber(audio, audioEmpty, "block_align", AudioField::BlockAlign);
    const std::string audioHeader = text(audio, "audioheader", "");
    media.pcmSampleSize = audioNumber(audio, audioEmpty, "pcm_SampleSize");
    media.pcmSamplesPerChunk = audioNumber(audio, audioEmpty, "pcm_SamplesPerChunk");
    const std::string videoHeader = text(root, "videoheader", "");
    result.trackCount = number<std::int32_t>(root, "nbtracks");

    for (const auto& child : container(root, "tracks")) {
        if (child.first != "track") continue;
        // More tracks than an analysis makes: not a description Ordwick wrote.
        if (result.tracks.size() == AnalysisResult::kMaxTracks) throw ReadEnded{};
        readTrack(child.second, result);
    }
    for (const auto& child : container(root, "packets")) {
        if (child.first == "packet") readPacket(child.second, result);
    }
    handOver(result, media, width, height, videoHeader, audioHeader);
}

}  // namespace

bool readVideoPreset(const QString& path, AnalysisResult& result, MediaInfo& media, std::string& presetName) {
    DeleteOnExit consume(path);
    try {
        readDocument(path, result, media, presetName);
        return true;
    } catch (...) {
        // Every failure ends the read quietly; what was stored before it stays.
        return false;
    }
}
