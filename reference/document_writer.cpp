#include "reference/document_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <locale>
#include <sstream>
#include <vector>

#include <boost/property_tree/xml_parser.hpp>

#include "mp4/fourcc_text.h"

namespace pt = boost::property_tree;

namespace {

// The document's texts are names and four-character codes. A byte outside printable ASCII
// would be a control character (no XML form even escaped) or break the declared encoding, so
// it is shown as '.', as four-character codes are; markup characters are escaped by the writer.
std::string xmlText(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) c = '.';
    }
    return text;
}

std::string upperHex(std::string hex) {
    for (char& c : hex)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return xmlText(std::move(hex));
}

std::string formatInt(std::int64_t value) { return std::to_string(value); }
std::string formatBool(bool value) { return value ? "true" : "false"; }

const TrackRecord* firstVideoTrack(const AnalysisResult& result) {
    for (const TrackRecord& track : result.tracks)
        if (track.typeIndex == 2) return &track;
    return nullptr;
}

void addAudioRun(pt::ptree& audio, const TrackRecord& track, const MediaInfo& media) {
    audio.add("audiocodec", xmlText(media.audioCodecName));
    audio.add("bitpersample", formatInt(media.bitsPerSample));
    audio.add("channel", formatInt(media.channels));
    audio.add("SampleRate", formatInt(media.sampleRate));
    audio.add("block_align", formatInt(media.blockAlign));
    audio.add("audio_little_endian", formatBool(media.littleEndian == 1));
    audio.add("audio_big_endian", formatBool(media.bigEndian == 1));
    audio.add("pcm_SampleSize", formatInt(track.pcmSampleSize));
    audio.add("pcm_SamplesPerChunk", formatInt(track.pcmSamplesPerChunk));
    if (track.sampleDescFormat == mp4::fourcc("mp4a")) audio.add("audioheader", upperHex(track.audioHeaderHex));
}

pt::ptree trackElement(const TrackRecord& track) {
    pt::ptree element;
    element.add("type", xmlText(track.typeName));
    element.add("typeidx", formatInt(track.typeIndex));
    element.add("sampleDescType", formatInt(track.sampleDescType));
    element.add("sampleDescFormatIDX", formatWord(track.sampleDescFormat));
    element.add("sampleDescCoding", xmlText(track.sampleDescCoding));
    element.add("minsize", formatInt(track.minSize));
    element.add("maxsize", formatInt(track.maxSize));
    pt::ptree& hexcode = element.add_child("hexcode", pt::ptree());
    for (const SampleSignature& sig : track.sampleSignatures) {
        pt::ptree& bytes = hexcode.add_child("bytes", pt::ptree());
        bytes.add("size", formatInt(sig.size));
        bytes.add("value", formatWord(sig.value));
    }
    return element;
}

pt::ptree packetElement(const NalTypeStats& stats) {
    pt::ptree element;
    element.add("type", formatInt(stats.type));
    element.add("min", formatWord(stats.minSize));
    element.add("max", formatWord(stats.maxSize));
    pt::ptree& hexcode = element.add_child("hexcode", pt::ptree());
    for (std::uint32_t word : stats.headerWords) hexcode.add_child("bytes", pt::ptree()).add("value", formatWord(word));
    return element;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Replaces `path` with `bytes` in one rename; nothing is left at `path` or beside it on failure.
bool replaceFile(const std::string& path, const std::string& bytes) {
    std::string temp = folderOf(path) + "/.videopreset-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    temp = name.data();
    // Flushed before the rename, so that the name never points at a document still in flight.
    bool ok = ::fchmod(fd, 0644) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace

std::string formatFrameRate(float value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << value;
    return text.str();
}

std::string formatWord(std::uint32_t bits) { return formatInt(static_cast<std::int32_t>(bits)); }

pt::ptree buildVideoPreset(const std::string& name, const std::string& presetName, const AnalysisResult& result,
                           const MediaInfo& media) {
    pt::ptree doc;
    pt::ptree& root = doc.add_child("videopreset", pt::ptree());
    const TrackRecord* video = firstVideoTrack(result);
    root.add("name", xmlText(name));
    root.add("preset", xmlText(presetName));
    root.add("videocodec", xmlText(media.videoCodecName));
    root.add("videoWidth", formatInt(video ? video->sampleWidth : 0));
    root.add("videoHeight", formatInt(video ? video->sampleHeight : 0));
    root.add("videoFps_den", formatFrameRate(media.fpsDen));
    root.add("videoFps_num", formatFrameRate(media.fpsNum));
    root.add("videoheader", video ? upperHex(video->videoHeaderHex) : std::string());
    root.add("nbtracks", formatInt(result.trackCount));

    pt::ptree& audio = root.add_child("audio", pt::ptree());
    for (const TrackRecord& track : result.tracks)
        if (track.typeIndex == 1) addAudioRun(audio, track, media);

    pt::ptree& tracks = root.add_child("tracks", pt::ptree());
    for (const TrackRecord& track : result.tracks) tracks.add_child("track", trackElement(track));

    pt::ptree& packets = root.add_child("packets", pt::ptree());
    for (const NalTypeStats& stats : result.nalStats) packets.add_child("packet", packetElement(stats));
    return doc;
}

bool writeVideoPreset(std::string path, std::string name, std::string presetName, const AnalysisResult& result,
                      const MediaInfo& media) {
    if (path.empty()) return false;
    try {
        std::ostringstream text;
        pt::write_xml(text, buildVideoPreset(name, presetName, result, media),
                      pt::xml_writer_make_settings<std::string>(' ', 4, "utf-8"));
        if (!text) return false;
        return replaceFile(path, text.str());
    } catch (...) {
        // Nothing from the tree or the stream may end the run; a failure only means no document.
        return false;
    }
}
