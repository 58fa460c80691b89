#include "repair/playback_check.h"

#include <QFile>

#include <algorithm>
#include <string>
#include <vector>

#include "media/annexb_decode.h"
#include "media/decoder_complaints.h"
#include "media/start_codes.h"
#include "media/stream_decoder.h"
#include "mp4/nal_header.h"
#include "repair/preview_units.h"
#include "repair/slice_header_check.h"

namespace {

bool startsPicture(const std::uint8_t* stream, const NalRange& unit, bool hevc) {
    if (unit.end <= unit.begin) return false;
    const std::uint8_t* lead = stream + unit.begin;
    const std::size_t length = std::min(unit.end - unit.begin, kPreviewLeadBytes);
    const PreviewUnitKind kind = previewUnitKind(mp4::nalTypeOf(lead[0], hevc), hevc, lead, length);
    const bool slice = kind.unit == PreviewUnit::StandAloneSlice || kind.unit == PreviewUnit::DependentSlice;
    return slice && kind.firstSlice;
}

// Where each of the first kCheckedPictures pictures starts, then where the checked part ends.
std::vector<std::size_t> pictureBounds(const std::uint8_t* stream, const std::vector<NalRange>& units,
                                       std::size_t size, bool hevc, bool cutShort) {
    std::vector<std::size_t> bounds;
    for (const NalRange& unit : units) {
        if (!startsPicture(stream, unit, hevc)) continue;
        bounds.push_back(unit.startCode);
        if (bounds.size() == std::size_t(kCheckedPictures) + 1) return bounds;
    }
    // Without a picture there is nothing to end; bytes that stop inside the last picture end
    // the checked part where it starts.
    if (bounds.empty() || cutShort) return bounds;
    bounds.push_back(size);
    return bounds;
}

// A slice segment of a picture, as its header reads against the parameter sets in force.
struct Segment {
    bool parsed = false;
    SliceInfo info;
};

// Whether a picture's slice segments carry other entry points than its CTB rows. With wavefronts
// and no tiles each segment has one for every row it spans beyond its first; under the SPS of
// another picture size the rows do not match (320x240 gives 4 rows of 64x64 CTBs, 640x480 8).
// Only what the headers say for certain counts: a segment whose count or end is not known is
// passed over.
bool entryPointsMissRows(const std::vector<Segment>& segments) {
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const SliceInfo& s = segments[i].info;
        if (!segments[i].parsed || !s.entryPointsKnown || !s.rowEntryPoints || s.ctbsWide == 0) continue;
        const std::uint32_t wide = s.ctbsWide;
        const std::uint32_t row = s.segmentAddress / wide;
        // Whatever its end, a segment spans no more rows than lie below its start.
        if (s.entryPoints >= s.ctbsHigh - row) return true;
        // The picture's last segment runs to its end, every other one to where the next starts.
        std::uint32_t end = wide * s.ctbsHigh;
        if (i + 1 < segments.size()) {
            const Segment& next = segments[i + 1];
            if (!next.parsed || next.info.ctbsWide != wide || next.info.ctbsHigh != s.ctbsHigh) continue;
            end = next.info.segmentAddress;
        }
        if (end <= s.segmentAddress) return true;
        if (s.entryPoints != (end - 1) / wide - row) return true;
    }
    return false;
}

// Which of the first `pictures` pictures (starting at `bounds`) have slice segments whose entry
// points miss their rows. Their headers are read against the parameter sets that open the
// stream and, as the decoder reads them, against any the stream brings further on.
std::vector<bool> entryPointFaults(const std::uint8_t* stream, const std::vector<NalRange>& units,
                                   const std::vector<std::size_t>& bounds, int pictures) {
    std::vector<bool> faulty(std::size_t(pictures), false);
    SliceHeaderCheck check;
    std::string parameterSets;
    bool changed = false;
    std::vector<Segment> segments;
    int picture = -1;
    auto judge = [&] {
        if (picture >= 0 && entryPointsMissRows(segments)) faulty[std::size_t(picture)] = true;
        segments.clear();
    };
    for (const NalRange& unit : units) {
        if (unit.startCode >= bounds[std::size_t(pictures)]) break;
        const std::uint8_t* bytes = stream + unit.begin;
        const std::int64_t length = std::int64_t(unit.end - unit.begin);
        if (length < 2) continue;
        const int type = mp4::nalTypeOf(bytes[0], true);
        if (mp4::isParameterSetType(type, true)) {
            if (!check.isReferenceParameterSet(bytes, length)) {
                parameterSets.append("\0\0\0\1", 4);
                parameterSets.append(reinterpret_cast<const char*>(bytes), std::size_t(length));
                changed = true;
            }
            continue;
        }
        if (!mp4::isPictureType(type, true)) continue;
        while (picture + 1 < pictures && unit.startCode >= bounds[std::size_t(picture) + 1]) {
            judge();
            ++picture;
        }
        if (picture < 0) continue;
        if (changed) {
            check.build(parameterSets, true);
            changed = false;
        }
        Segment segment;
        // Only the header's bytes are read.
        segment.parsed = check.parses(bytes, length, &segment.info);
        segments.push_back(segment);
    }
    judge();
    return faulty;
}

}  // namespace

PlaybackCheck checkFirstPictures(const std::uint8_t* stream, std::size_t size, bool hevc, bool cutShort) {
    PlaybackCheck check;
    std::vector<NalRange> units;
    splitNalUnits(stream, size, units);
    const std::vector<std::size_t> bounds = pictureBounds(stream, units, size, hevc, cutShort);
    if (bounds.size() < 2) {
        // No picture, or only one larger than what was read: nothing whole to decode.
        check.pictures = static_cast<int>(bounds.size());
        return check;
    }
    check.pictures = static_cast<int>(bounds.size()) - 1;

    CodecContextPtr decoder;
    // A stream whose first key picture was lost still shows what its slices hold: the pictures
    // before the next one are handed out, and judged by their own slices.
    if (openStreamDecoder(hevc, decoder, EarlyPictures::HandedOut) < 0) return check;
    check.checked = true;
    int given = 0;
    int damaged = 0;
    auto count = [&](const AVFrame* picture) {
        ++given;
        if (hasDecodeErrors(picture)) ++damaged;
        return true;
    };
    // One access unit at a time, so that each complaint is known to be of its picture. The
    // first takes the parameter sets in front of it along; each is copied with the zeroed tail
    // the decoder may read.
    std::vector<bool> faulty =
        hevc ? entryPointFaults(stream, units, bounds, check.pictures) : std::vector<bool>(std::size_t(check.pictures));
    std::vector<std::uint8_t> picture;
    for (int i = 0; i < check.pictures; ++i) {
        const std::size_t from = i == 0 ? 0 : bounds[std::size_t(i)];
        const std::size_t to = bounds[std::size_t(i) + 1];
        picture.assign(stream + from, stream + to);
        picture.resize(picture.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        const DecoderComplaints complaints;
        const bool taken = decodeAccessUnit(decoder.get(), picture.data(), static_cast<int>(to - from), count);
        if (!taken || complaints.count() > 0) faulty[std::size_t(i)] = true;
    }
    {
        const DecoderComplaints complaints;
        drainDecoder(decoder.get(), count);
    }
    // A picture is faulty once, whether the decoder complained of it, its entry points missed
    // its rows, or both. A concealed picture may come without either, a faulty one unflagged;
    // which picture a flagged one is the decoder does not say, so the larger count stands.
    const int faultyTried = int(std::count(faulty.begin(), faulty.end(), true));
    check.faultyPictures = std::max(faultyTried, damaged + std::max(0, check.pictures - given));
    return check;
}

PlaybackCheck checkFirstPictures(const QString& path, bool hevc) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray head = file.read(static_cast<qint64>(kCheckedBytes));
    return checkFirstPictures(reinterpret_cast<const std::uint8_t*>(head.constData()),
                              static_cast<std::size_t>(head.size()), hevc, !file.atEnd());
}
