#include "reference/nal_statistics.h"

#include <limits>

#include "mp4/bit_reader.h"
#include "mp4/nal_header.h"

namespace {

enum class Codec { Avc, Hevc };

constexpr int kAvcNonIdrSlice = 1;
// Slice-header bytes loaded for first_mb_in_slice and slice_type.
constexpr std::size_t kSliceHeaderBytes = 8;

std::uint8_t byteAt(const std::uint8_t* data, std::size_t size, std::size_t index) {
    return index < size ? data[index] : 0;
}

std::int32_t avcSliceType(const std::uint8_t* data, std::size_t size, std::size_t unitStart) {
    std::uint8_t header[kSliceHeaderBytes];
    for (std::size_t i = 0; i < kSliceHeaderBytes; ++i) header[i] = byteAt(data, size, unitStart + 1 + i);
    mp4::BitReader bits(header, sizeof header);
    if (mp4::readUeGolomb(bits) < 0) return -1;  // first_mb_in_slice
    const std::int64_t sliceType = mp4::readUeGolomb(bits);
    return sliceType >= 0 && sliceType <= std::numeric_limits<std::int32_t>::max() ? static_cast<std::int32_t>(sliceType)
                                                                                   : -1;
}

void walk(Codec codec, const std::uint8_t* data, std::size_t size, unsigned lengthSize, TrackRecord& track,
          AnalysisResult& result) {
    if (lengthSize != 1 && lengthSize != 2 && lengthSize != 4) return;
    std::size_t pos = 0;
    std::size_t left = size;
    while (left >= lengthSize) {
        const std::uint32_t unitSize = mp4::beWord(data + pos, lengthSize);
        pos += lengthSize;
        left -= lengthSize;

        // A unit cut off by the sample's end reads as zero bytes behind the end.
        const std::uint8_t header[] = {byteAt(data, size, pos), byteAt(data, size, pos + 1),
                                       byteAt(data, size, pos + 2)};
        const bool hevc = codec == Codec::Hevc;
        const int type = mp4::nalTypeOf(header[0], hevc);
        NalTypeStats& stats = result.nalStats[type];
        if (unitSize < stats.minSize) stats.minSize = unitSize;
        if (unitSize > stats.maxSize) stats.maxSize = unitSize;
        const std::uint32_t word = mp4::headerWordOf(header, type, hevc);
        stats.addHeaderWord(word);

        NalEntry entry;
        entry.type = type;
        entry.size = unitSize;
        entry.headerWord = word;
        if (codec == Codec::Avc && type == kAvcNonIdrSlice) entry.sliceType = avcSliceType(data, size, pos);
        track.nalList.push_back(entry);

        if (unitSize > left) break;
        pos += unitSize;
        left -= unitSize;
    }
}

}  // namespace

void walkAvcNalUnits(const std::uint8_t* data, std::size_t size, unsigned nalLengthSize, TrackRecord& track,
                     AnalysisResult& result) {
    walk(Codec::Avc, data, size, nalLengthSize, track, result);
}

void walkHevcNalUnits(const std::uint8_t* data, std::size_t size, unsigned nalLengthSize, TrackRecord& track,
                      AnalysisResult& result) {
    walk(Codec::Hevc, data, size, nalLengthSize, track, result);
}
