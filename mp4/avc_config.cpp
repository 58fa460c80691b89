#include "mp4/avc_config.h"

#include <cstdio>

#include "mp4/bit_reader.h"
#include "mp4/fourcc_text.h"
#include "mp4/nal_header.h"
#include "mp4/rbsp.h"
#include "mp4/record_writer.h"

namespace mp4 {

namespace {

enum NalType : unsigned { kSequenceSet = 7, kPictureSet = 8, kSequenceSetExtension = 13 };
constexpr std::size_t kMostSequenceSets = 31;
constexpr std::size_t kMostPictureSets = 255;
// The SPS fields up to the bit depths fit well inside this many payload bytes.
constexpr std::size_t kSpsHeadBytes = 32;

// Profiles whose SPS codes chroma_format_idc and the bit depths; any other is 4:2:0 at 8 bits.
bool spsCodesFormat(unsigned profile) {
    static const unsigned kProfiles[] = {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135};
    for (unsigned p : kProfiles)
        if (p == profile) return true;
    return false;
}

// The picture format of an SPS (header byte included) into `config`; false when it cannot be read.
bool readFormat(ByteSpan sps, AvcConfig& config) {
    const std::vector<std::uint8_t> rbsp = rbspOf(sps, 1, kSpsHeadBytes);
    BitReader bits(rbsp.data(), rbsp.size());
    const unsigned profile = bits.readBits(8);
    bits.readBits(16);  // constraint flags, level
    if (readUeGolomb(bits) < 0) return false;
    if (spsCodesFormat(profile)) {
        const std::int64_t chroma = readUeGolomb(bits);
        if (chroma == 3) bits.readBit();  // separate colour planes
        const std::int64_t luma = readUeGolomb(bits);
        const std::int64_t chromaDepth = readUeGolomb(bits);
        if (chroma < 0 || chroma > 3 || luma < 0 || luma > 6 || chromaDepth < 0 || chromaDepth > 6) return false;
        config.chromaFormat = static_cast<std::uint8_t>(chroma);
        config.bitDepthLuma = static_cast<std::uint8_t>(luma + 8);
        config.bitDepthChroma = static_cast<std::uint8_t>(chromaDepth + 8);
    }
    return !bits.overrun();
}

}  // namespace

bool avcProfileWithoutFormat(std::uint8_t profile) { return profile == 66 || profile == 77 || profile == 88; }

bool parseAvcConfig(ByteSpan payload, AvcConfig& out) {
    ByteReader reader(payload);
    reader.skip(1);  // configuration version
    out.profile = reader.u8();
    out.compatibility = reader.u8();
    out.level = reader.u8();
    out.nalLengthSize = static_cast<std::uint8_t>((reader.u8() & 0x03) + 1);
    const int spsCount = reader.u8() & 0x1F;
    for (int i = 0; i < spsCount && reader.ok(); ++i) {
        const std::uint16_t length = reader.u16();
        const ByteSpan unit = reader.take(length);
        if (reader.ok()) out.sequenceParameterSets.push_back(unit);
    }
    const int ppsCount = reader.u8();
    for (int i = 0; i < ppsCount && reader.ok(); ++i) {
        const std::uint16_t length = reader.u16();
        const ByteSpan unit = reader.take(length);
        if (reader.ok()) out.pictureParameterSets.push_back(unit);
    }
    if (reader.ok() && !avcProfileWithoutFormat(out.profile) && reader.remaining() >= 4) {
        out.hasFormat = true;
        out.chromaFormat = reader.u8() & 0x03;
        out.bitDepthLuma = static_cast<std::uint8_t>((reader.u8() & 0x07) + 8);
        out.bitDepthChroma = static_cast<std::uint8_t>((reader.u8() & 0x07) + 8);
    }
    return reader.ok();
}

bool writeAvcConfig(const std::vector<ByteSpan>& parameterSets, std::vector<std::uint8_t>& record) {
    std::vector<ByteSpan> sequenceSets, pictureSets, extensions;
    for (const ByteSpan& unit : parameterSets) {
        std::vector<ByteSpan>* kind = nullptr;
        switch (unit.empty() ? 0 : nalTypeOf(unit.data[0], false)) {
        case kSequenceSet: kind = &sequenceSets; break;
        case kPictureSet: kind = &pictureSets; break;
        case kSequenceSetExtension: kind = &extensions; break;
        default: return false;
        }
        kind->push_back(unit);
    }
    if (sequenceSets.empty() || pictureSets.empty() || sequenceSets.size() > kMostSequenceSets ||
        pictureSets.size() > kMostPictureSets || extensions.size() > kMostPictureSets)
        return false;
    const ByteSpan first = sequenceSets.front();
    AvcConfig format;
    if (first.size < 4 || !readFormat(first, format)) return false;
    const std::uint8_t profile = first.data[1];

    RecordWriter out;
    out.u8(1);  // configuration version
    out.u8(profile);
    out.u8(first.data[2]);
    out.u8(first.data[3]);
    out.u8(0xFC | 3);  // four-byte lengths
    out.u8(0xE0 | static_cast<unsigned>(sequenceSets.size()));
    for (const ByteSpan& unit : sequenceSets) out.unit(unit);
    out.u8(static_cast<unsigned>(pictureSets.size()));
    for (const ByteSpan& unit : pictureSets) out.unit(unit);
    // Without the format fields there is no place for SPS extensions; the stream still has them.
    if (!avcProfileWithoutFormat(profile)) {
        out.u8(0xFC | format.chromaFormat);
        out.u8(0xF8 | (format.bitDepthLuma - 8));
        out.u8(0xF8 | (format.bitDepthChroma - 8));
        out.u8(static_cast<unsigned>(extensions.size()));
        for (const ByteSpan& unit : extensions) out.unit(unit);
    }
    if (!out.ok()) return false;
    record.swap(out.bytes());
    return true;
}

std::string avcCodecString(std::uint32_t format, const AvcConfig& config) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%02X%02X%02X", config.profile, config.compatibility, config.level);
    return fourccText(format) + "." + digits;
}

}  // namespace mp4
