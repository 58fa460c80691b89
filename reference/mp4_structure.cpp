#include "reference/mp4_structure.h"

#include <cstdio>
#include <iterator>
#include <limits>
#include <optional>
#include <unordered_set>

#include "mp4/avc_config.h"
#include "mp4/box_tree.h"
#include "mp4/dec3_config.h"
#include "mp4/es_descriptor.h"
#include "mp4/file_walk.h"
#include "mp4/fourcc_text.h"
#include "mp4/hevc_config.h"
#include "mp4/media_file.h"
#include "mp4/movie_headers.h"
#include "reference/nal_statistics.h"

namespace {

constexpr std::int32_t kAudioTrack = 1;
constexpr std::int32_t kVideoTrack = 2;
// A major brand whose movies are not analysed track by track.
constexpr std::uint32_t kSkippedBrand = mp4::fourcc("MGSV");
constexpr std::uint32_t kWideSizeBound = 16777215;

struct TrackTypeName {
    std::int32_t type;
    const char* name;
};

const TrackTypeName kTrackTypeNames[] = {
    {1, "Audio"}, {2, "Video"}, {3, "System"}, {4, "Hint"}, {5, "Text"}, {6, "JPEG"}, {8, "Subtitles"},
};

const std::uint32_t kAacSamplingFrequencies[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                                 22050, 16000, 12000, 11025, 8000,  7350};
// The ADTS index meaning "frequency not in the table".
constexpr std::uint32_t kEscapeFrequencyIndex = 15;

std::string trackTypeName(std::int32_t type, std::uint32_t handlerType) {
    for (const TrackTypeName& row : kTrackTypeNames)
        if (row.type == type) return row.name;
    return "Unknown (" + mp4::fourccText(handlerType) + ")";
}

void appendHex(std::string& text, const std::uint8_t* bytes, std::size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0F]);
    }
}

void appendParameterSet(std::string& text, mp4::ByteSpan unit) {
    text += "00000001";
    appendHex(text, unit.data, unit.size);
}

std::uint32_t saturate32(std::uint64_t value) {
    return value > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                             : static_cast<std::uint32_t>(value);
}

std::uint32_t firstWord(mp4::ByteSpan data) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 4; ++i) word = (word << 8) | (i < data.size ? data.data[i] : 0);
    return word;
}

std::uint64_t signatureKey(const SampleSignature& s) {
    return (std::uint64_t(static_cast<std::uint32_t>(s.size)) << 32) | s.value;
}

// The description's type: a known format counts as its kind only when its configuration box
// is there and readable.
mp4::DescriptionType describeConfiguration(const mp4::SampleEntry& entry, TrackRecord& record,
                                           std::optional<mp4::AudioSpecificConfig>& audioConfig) {
    const mp4::FormatInfo info = mp4::formatInfo(entry.format);
    mp4::ByteSpan payload;
    switch (info.type) {
    case mp4::kDescriptionMpeg: {
        mp4::EsDescriptor es;
        if (!mp4::findEsds(entry, payload) || !mp4::parseEsds(payload, es)) return mp4::kDescriptionOther;
        record.objectTypeIndication = es.objectTypeIndication;
        if (es.hasAudioConfig) audioConfig = es.audioConfig;
        return mp4::kDescriptionMpeg;
    }
    case mp4::kDescriptionAvc: {
        mp4::AvcConfig config;
        if (!mp4::findEntryBox(entry, info.configBox, payload) || !mp4::parseAvcConfig(payload, config))
            return mp4::kDescriptionOther;
        record.nalLengthSize = config.nalLengthSize;
        for (const mp4::ByteSpan& unit : config.sequenceParameterSets) appendParameterSet(record.videoHeaderHex, unit);
        for (const mp4::ByteSpan& unit : config.pictureParameterSets) appendParameterSet(record.videoHeaderHex, unit);
        record.codecString = mp4::avcCodecString(entry.format, config);
        return mp4::kDescriptionAvc;
    }
    case mp4::kDescriptionHevc: {
        mp4::HevcConfig config;
        if (!mp4::findEntryBox(entry, info.configBox, payload) || !mp4::parseHevcConfig(payload, config))
            return mp4::kDescriptionOther;
        record.nalLengthSize = config.nalLengthSize;
        for (const mp4::HevcConfig::Array& array : config.arrays)
            for (const mp4::ByteSpan& unit : array.units) appendParameterSet(record.videoHeaderHex, unit);
        record.codecString = mp4::hevcCodecString(entry.format, config);
        return mp4::kDescriptionHevc;
    }
    default:
        return mp4::kDescriptionOther;
    }
}

// The distinct signatures of one track's samples, within what the analysis records in all.
class SignatureRecorder {
public:
    SignatureRecorder(TrackRecord& record, const AnalysisResult& result) : record_(record) {
        for (const SampleSignature& s : record.sampleSignatures) seen_.insert(signatureKey(s));
        for (const TrackRecord& track : result.tracks) recorded_ += track.sampleSignatures.size();
    }
    bool full() const { return recorded_ >= AnalysisResult::kMaxSampleSignatures; }
    void add(mp4::ByteSpan data) {
        SampleSignature signature;
        signature.size = static_cast<std::int32_t>(data.size);
        signature.value = firstWord(data);
        if (!seen_.insert(signatureKey(signature)).second) return;
        record_.sampleSignatures.push_back(signature);
        ++recorded_;
    }

private:
    TrackRecord& record_;
    // A damaged metadata track may hold millions of distinct signatures; the set keeps the look-up cheap.
    std::unordered_set<std::uint64_t> seen_;
    std::size_t recorded_ = 0;
};

void walkSamples(const mp4::Track& track, mp4::DescriptionType lastKind, TrackRecord& record,
                 mp4::SampleReader& reader, AnalysisResult& result) {
    mp4::SampleCursor cursor = mp4::sampleCursor(track);
    mp4::SampleLocation location;
    mp4::ByteSpan data;
    // The samples of one track never share bytes, so they add up to at most the file. Tables
    // that say more (a chunk offset repeated, sizes cut at the end of the file again and again)
    // end the walk instead of reading the same bytes over and over.
    std::uint64_t budget = reader.fileSize();
    SignatureRecorder signatures(record, result);
    while (cursor.next(location) && reader.read(location, data)) {
        if (data.size > budget) return;
        budget -= data.size;
        if (lastKind == mp4::kDescriptionAvc) {
            walkAvcNalUnits(data.data, data.size, record.nalLengthSize, record, result);
        } else if (lastKind == mp4::kDescriptionHevc) {
            walkHevcNalUnits(data.data, data.size, record.nalLengthSize, record, result);
        } else if (track.type != kVideoTrack && !signatures.full()) {
            signatures.add(data);
        } else {
            // A video track of another kind has nothing to learn from its samples, nor a track
            // once the analysis holds all the signatures it records.
            return;
        }
    }
}

}  // namespace

namespace {

std::uint32_t frequencyIndexOf(std::uint32_t rate) {
    for (std::uint32_t i = 0; i < std::size(kAacSamplingFrequencies); ++i)
        if (kAacSamplingFrequencies[i] == rate) return i;
    return kEscapeFrequencyIndex;
}

// The three fields an ADTS header repeats for every frame. The sample entry's values are
// often fixed ones; the decoder configuration's replace them field by field wherever it gives
// one an ADTS header can carry.
struct AdtsFields {
    std::uint32_t profile;         // 2 bits: audio object type - 1
    std::uint32_t frequencyIndex;  // 4 bits
    std::uint32_t channels;        // 3 bits
};

AdtsFields adtsFieldsFor(const TrackRecord& track, const mp4::AudioSpecificConfig* config) {
    // Without a configuration: the object type indication's low bits, as the header was always built.
    AdtsFields fields{track.objectTypeIndication & 3u, frequencyIndexOf(track.sampleRate), track.channelCount};
    if (!config) return fields;
    if (config->objectType >= 1 && config->objectType <= 4) fields.profile = std::uint32_t(config->objectType - 1);
    const std::uint32_t index = config->frequencyIndex == int(kEscapeFrequencyIndex)
                                    ? frequencyIndexOf(config->explicitFrequency)
                                    : std::uint32_t(config->frequencyIndex);
    if (index < std::size(kAacSamplingFrequencies)) fields.frequencyIndex = index;
    if (config->channelConfiguration >= 1 && config->channelConfiguration <= 7)
        fields.channels = std::uint32_t(config->channelConfiguration);
    return fields;
}

}  // namespace

std::vector<std::uint8_t> adtsHeaderFor(const TrackRecord& track, const mp4::AudioSpecificConfig* config) {
    AdtsFields f = adtsFieldsFor(track, config);
    // Channels that only a program config element describes: channel configuration 0, and the
    // element behind the header, where it stands first in a raw data block.
    const bool programConfig = config && config->channelConfiguration == 0 && config->programConfig;
    if (programConfig) f.channels = 0;
    const std::uint32_t c = f.channels;
    const std::uint32_t length = std::uint32_t(track.sampleSize) + 7;
    std::vector<std::uint8_t> header(7);
    header[0] = 0xFF;
    header[1] = 0xF9;
    header[2] = static_cast<std::uint8_t>(((f.profile & 3) << 6) | ((f.frequencyIndex & 0x0F) << 2) | ((c >> 2) & 1));
    header[3] = static_cast<std::uint8_t>(((length >> 11) & 3) | (c << 6));
    header[4] = static_cast<std::uint8_t>(length >> 3);
    header[5] = static_cast<std::uint8_t>((length << 5) | 0x1F);
    header[6] = static_cast<std::uint8_t>((track.sampleSize / 1024) | 0xFC);
    if (programConfig) {
        const std::vector<std::uint8_t> element = mp4::programConfigElement(*config->programConfig);
        header.insert(header.end(), element.begin(), element.end());
    }
    return header;
}

mp4::DescriptionType describeSampleEntry(const mp4::SampleEntry& entry, int row, AnalysisResult& result) {
    TrackRecord& record = result.tracks[row];
    record.nalLengthSize = 0;
    record.sampleDescFormat = entry.format;
    record.sampleDescCoding = mp4::formatName(entry.format);
    std::optional<mp4::AudioSpecificConfig> audioConfig;
    const mp4::DescriptionType type = describeConfiguration(entry, record, audioConfig);
    record.sampleDescType = type;

    const bool audio = entry.layout == mp4::EntryLayout::Audio;
    record.sampleRate = audio ? entry.sampleRate : 0;
    record.sampleSize = audio ? entry.sampleSize : 0;
    record.channelCount = audio ? entry.channelCount : 0;
    const bool visual = entry.layout == mp4::EntryLayout::Visual;
    record.sampleWidth = visual ? entry.width : 0;
    record.sampleHeight = visual ? entry.height : 0;
    record.sampleDepth = visual ? entry.depth : 0;

    if (entry.format == mp4::fourcc("ec-3")) {
        mp4::ByteSpan dec3;
        std::uint32_t rate = 0;
        if (mp4::findEntryBox(entry, mp4::fourcc("dec3"), dec3) && mp4::parseDec3DataRate(dec3, rate))
            record.dec3DataRate = rate;
    } else {
        record.dec3DataRate = 0;
        if (entry.format == mp4::fourcc("mp4a")) {
            record.adtsHeader = adtsHeaderFor(record, audioConfig ? &*audioConfig : nullptr);
            record.audioHeaderHex.clear();
            appendHex(record.audioHeaderHex, record.adtsHeader.data(), record.adtsHeader.size());
        }
    }
    return type;
}

void analyseTrack(const mp4::Track& track, int row, mp4::SampleReader& reader, AnalysisResult& result) {
    {
        TrackRecord& record = result.tracks[row];
        record.id = static_cast<std::int32_t>(track.id);
        record.typeIndex = track.type;
        record.typeName = trackTypeName(track.type, track.handlerType);
        record.handlerType = track.handlerType;
        record.trackName = track.name;
        record.sampleCount = track.sampleCount;
        record.mediaTimeScale = track.mediaTimeScale;
        record.mediaDuration = track.mediaDuration;
        record.durationMs = saturate32(mp4::convertTime(track.mediaDuration, track.mediaTimeScale, 1000));
        if (track.width != 0 || track.height != 0) {
            record.trackWidth = static_cast<float>(track.width) / 65536.0f;
            record.trackHeight = static_cast<float>(track.height) / 65536.0f;
        }
        // No frame rate without a duration and a time scale to divide by.
        if (track.type == kVideoTrack && track.sampleCount > 0 && track.mediaDuration > 0 && track.mediaTimeScale > 0) {
            const float seconds = static_cast<float>(track.mediaDuration) / static_cast<float>(track.mediaTimeScale);
            record.frameRate = static_cast<float>(track.sampleCount) / seconds;
        }
    }

    mp4::DescriptionType lastKind = mp4::kDescriptionOther;
    for (const mp4::SampleEntry& entry : track.entries) lastKind = describeSampleEntry(entry, row, result);

    TrackRecord& record = result.tracks[row];
    if (record.sampleDescCoding == "MPEG-4 Audio") {
        record.minSize = 0;
        record.maxSize = static_cast<std::int32_t>(kWideSizeBound);
    } else {
        record.minSize = static_cast<std::int32_t>(kWideSizeBound);
        record.maxSize = 0;
    }

    if (track.type != kAudioTrack) {
        walkSamples(track, lastKind, record, reader, result);
        return;
    }
    if (track.hasSampleSizes && track.sizesBox == mp4::fourcc("stsz"))
        record.pcmSampleSize = static_cast<std::int32_t>(track.sizes.constantSize);
    if (track.hasSampleToChunk && track.chunks.count > 0)
        record.pcmSamplesPerChunk = static_cast<std::int32_t>(track.chunks.at(0).samplesPerChunk);
}

void parseMp4File(const std::string& path, AnalysisResult& result) {
    mp4::MediaFile file;
    if (!file.open(path)) {
        std::printf("ERROR: cannot open input file %s\n", path.c_str());
        std::fflush(stdout);
        return;
    }
    mp4::TopLevel top = mp4::walkTopLevel(file);
    if (top.fileType.present) {
        result.majorBrand = mp4::fourccText(top.fileType.majorBrand);
        result.minorVersion = static_cast<std::int32_t>(top.fileType.minorVersion);
        for (std::uint32_t brand : top.fileType.compatibleBrands)
            if (brand != 0) result.compatibleBrands.push_back(mp4::fourccText(brand));
        result.moovBeforeMdat = top.movieBeforeMediaData ? 1 : 0;
    }
    if (!top.hasMovie) return;
    const mp4::BoxTree tree(std::move(top.movie));
    if (!tree.root()) return;
    // Only the tracks an analysis keeps are read; a movie of thousands costs what they cost.
    const bool skipped = top.fileType.present && top.fileType.majorBrand == kSkippedBrand;
    const mp4::Movie movie = mp4::readMovie(tree, skipped ? 0 : AnalysisResult::kMaxTracks);
    result.timeScale = movie.timeScale;
    result.durationMs = saturate32(mp4::convertTime(movie.duration, movie.timeScale, 1000));
    result.hasFragments = movie.fragmented ? 1 : 0;
    result.trackCount = static_cast<std::int32_t>(movie.trackCount);

    mp4::SampleReader reader(file);
    for (std::size_t row = 0; row < movie.tracks.size(); ++row) {
        result.tracks.emplace_back();
        analyseTrack(movie.tracks[row], static_cast<int>(row), reader, result);
    }
}
