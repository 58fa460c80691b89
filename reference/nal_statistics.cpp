#include "reference/nal_statistics.h"

#include <limits>

#include "mp4/bit_reader.h"

namespace {

enum class Codec { Avc, Hevc };

constexpr int kAvcIdr = 5;
constexpr int kAvcNonIdrSlice = 1;
constexpr int kHevcPrefixSei = 39;
// Slice-header bytes loaded for first_mb_in_slice and slice_type.
constexpr std::size_t kSliceHeaderBytes = 8;

std::uint8_t byteAt(const std::uint8_t* data, std::size_t size, std::size_t index) {
    return index < size ? data[index] : 0;
}

int nalType(Codec codec, std::uint8_t firstByte) {
    return codec == Codec::Avc ? firstByte & 0x1F : (firstByte >> 1) & 0x3F;
}

// Types whose header word takes a third byte: the IDR slice's first slice-header byte, or the
// payload type of an H.265 prefix SEI.
bool threeByteWord(Codec codec, int type) {
    return codec == Codec::Avc ? type == kAvcIdr : type == kHevcPrefixSei;
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
        std::uint32_t unitSize = 0;
        for (unsigned i = 0; i < lengthSize; ++i) unitSize = (unitSize << 8) | data[pos + i];
        pos += lengthSize;
        left -= lengthSize;

        const std::uint8_t b0 = byteAt(data, size, pos);
        const std::uint8_t b1 = byteAt(data, size, pos + 1);
        const std::uint8_t b2 = byteAt(data, size, pos + 2);
        const int type = nalType(codec, b0);
        NalTypeStats& stats = result.nalStats[type];
        if (unitSize < stats.minSize) stats.minSize = unitSize;
        if (unitSize > stats.maxSize) stats.maxSize = unitSize;
        const std::uint32_t word = threeByteWord(codec, type) ? (std::uint32_t(b0) << 16) | (std::uint32_t(b1) << 8) | b2
                                                               : (std::uint32_t(b0) << 8) | b1;
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
