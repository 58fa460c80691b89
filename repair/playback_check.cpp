#include "repair/playback_check.h"

#include <QFile>

#include <algorithm>
#include <vector>

#include "media/annexb_decode.h"
#include "media/decoder_complaints.h"
#include "media/start_codes.h"
#include "media/stream_decoder.h"
#include "mp4/nal_header.h"
#include "repair/preview_units.h"

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
std::vector<std::size_t> pictureBounds(const std::uint8_t* stream, std::size_t size, bool hevc, bool cutShort) {
    std::vector<NalRange> units;
    splitNalUnits(stream, size, units);
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

}  // namespace

PlaybackCheck checkFirstPictures(const std::uint8_t* stream, std::size_t size, bool hevc, bool cutShort) {
    PlaybackCheck check;
    const std::vector<std::size_t> bounds = pictureBounds(stream, size, hevc, cutShort);
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
    int complainedOf = 0;
    std::vector<std::uint8_t> picture;
    for (int i = 0; i < check.pictures; ++i) {
        const std::size_t from = i == 0 ? 0 : bounds[std::size_t(i)];
        const std::size_t to = bounds[std::size_t(i) + 1];
        picture.assign(stream + from, stream + to);
        picture.resize(picture.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        const DecoderComplaints complaints;
        const bool taken = decodeAccessUnit(decoder.get(), picture.data(), static_cast<int>(to - from), count);
        if (!taken || complaints.count() > 0) ++complainedOf;
    }
    {
        const DecoderComplaints complaints;
        drainDecoder(decoder.get(), count);
    }
    // A concealed picture may come without a complaint, a complained-of one unflagged.
    check.faultyPictures = std::max(complainedOf, damaged + std::max(0, check.pictures - given));
    return check;
}

PlaybackCheck checkFirstPictures(const QString& path, bool hevc) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray head = file.read(static_cast<qint64>(kCheckedBytes));
    return checkFirstPictures(reinterpret_cast<const std::uint8_t*>(head.constData()),
                              static_cast<std::size_t>(head.size()), hevc, !file.atEnd());
}
