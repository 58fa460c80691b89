#include "mp4/hevc_config.h"

#include <cstdio>

#include "mp4/bit_reader.h"
#include "mp4/fourcc_text.h"
#include "mp4/nal_header.h"
#include "mp4/rbsp.h"
#include "mp4/record_writer.h"

namespace mp4 {

namespace {

enum NalType : std::uint8_t { kVideoSet = 32, kSequenceSet = 33, kPictureSet = 34 };
constexpr NalType kArrayOrder[] = {kVideoSet, kSequenceSet, kPictureSet};
// The SPS fields up to the bit depths lie inside this many payload bytes, whatever the number
// of sub-layers.
constexpr std::size_t kSpsHeadBytes = 128;

}  // namespace

bool readHevcSequenceSet(ByteSpan sps, HevcConfig& config, HevcPictureLayout& layout) {
    const std::vector<std::uint8_t> rbsp = rbspOf(sps, 2, kSpsHeadBytes);
    BitReader bits(rbsp.data(), rbsp.size());
    bits.readBits(4);  // video parameter set id
    const unsigned subLayersMinus1 = bits.readBits(3);
    config.temporalIdNested = bits.readBit() != 0;
    if (subLayersMinus1 > 6) return false;
    config.temporalLayers = static_cast<std::uint8_t>(subLayersMinus1 + 1);
    config.profileSpace = static_cast<std::uint8_t>(bits.readBits(2));
    config.tierFlag = static_cast<std::uint8_t>(bits.readBit());
    config.profileIdc = static_cast<std::uint8_t>(bits.readBits(5));
    config.compatibilityFlags = bits.readBits(32);
    for (std::uint8_t& byte : config.constraintFlags) byte = static_cast<std::uint8_t>(bits.readBits(8));
    config.levelIdc = static_cast<std::uint8_t>(bits.readBits(8));
    // The sub-layers' profile and level, present by their flags, are passed over.
    bool profilePresent[8] = {}, levelPresent[8] = {};
    for (unsigned i = 0; i < subLayersMinus1; ++i) {
        profilePresent[i] = bits.readBit() != 0;
        levelPresent[i] = bits.readBit() != 0;
    }
    if (subLayersMinus1 > 0)
        for (unsigned i = subLayersMinus1; i < 8; ++i) bits.readBits(2);
    for (unsigned i = 0; i < subLayersMinus1; ++i) {
        if (profilePresent[i]) {
            bits.readBits(32);
            bits.readBits(32);
            bits.readBits(24);
        }
        if (levelPresent[i]) bits.readBits(8);
    }
    const std::int64_t id = readUeGolomb(bits);
    if (id < 0 || id > 15) return false;
    layout.spsId = static_cast<std::uint32_t>(id);
    const std::int64_t chroma = readUeGolomb(bits);
    if (chroma < 0 || chroma > 3) return false;
    layout.separateColourPlanes = chroma == 3 && bits.readBit() != 0;
    const std::int64_t width = readUeGolomb(bits);
    const std::int64_t height = readUeGolomb(bits);
    if (bits.readBit())  // conformance window
        for (int i = 0; i < 4; ++i) readUeGolomb(bits);
    const std::int64_t luma = readUeGolomb(bits);
    const std::int64_t chromaDepth = readUeGolomb(bits);
    if (luma < 0 || luma > 7 || chromaDepth < 0 || chromaDepth > 7 || bits.overrun()) return false;
    config.chromaFormat = static_cast<std::uint8_t>(chroma);
    config.bitDepthLuma = static_cast<std::uint8_t>(luma + 8);
    config.bitDepthChroma = static_cast<std::uint8_t>(chromaDepth + 8);
    // The picture's layout, for reading slice headers.
    const std::int64_t pocBits = readUeGolomb(bits) + 4;
    const bool orderingForAll = bits.readBit() != 0;
    for (unsigned i = orderingForAll ? 0 : subLayersMinus1; i <= subLayersMinus1; ++i)
        for (int k = 0; k < 3; ++k) readUeGolomb(bits);
    const std::int64_t minCodingBlockLog2 = readUeGolomb(bits) + 3;
    const std::int64_t ctbLog2 = minCodingBlockLog2 + readUeGolomb(bits);
    if (width <= 0 || height <= 0 || pocBits < 4 || pocBits > 16 || ctbLog2 < 4 || ctbLog2 > 6 || bits.overrun()) {
        layout.width = 0;  // the record's fields stand; the layout is unknown
        return true;
    }
    layout.width = static_cast<std::uint32_t>(width);
    layout.height = static_cast<std::uint32_t>(height);
    layout.log2MaxPocLsb = static_cast<int>(pocBits);
    layout.log2CtbSize = static_cast<int>(ctbLog2);
    return true;
}


bool parseHevcConfig(ByteSpan payload, HevcConfig& out) {
    ByteReader reader(payload);
    reader.skip(1);  // configuration version
    const std::uint8_t profile = reader.u8();
    out.profileSpace = profile >> 6;
    out.tierFlag = (profile >> 5) & 1;
    out.profileIdc = profile & 0x1F;
    out.compatibilityFlags = reader.u32();
    for (std::uint8_t& byte : out.constraintFlags) byte = reader.u8();
    out.levelIdc = reader.u8();
    reader.skip(2 + 1);  // segmentation, parallelism
    out.chromaFormat = reader.u8() & 0x03;
    out.bitDepthLuma = static_cast<std::uint8_t>((reader.u8() & 0x07) + 8);
    out.bitDepthChroma = static_cast<std::uint8_t>((reader.u8() & 0x07) + 8);
    reader.skip(2);  // frame rate
    const std::uint8_t layers = reader.u8();
    out.temporalLayers = (layers >> 3) & 0x07;
    out.temporalIdNested = (layers >> 2) & 1;
    out.nalLengthSize = static_cast<std::uint8_t>((layers & 0x03) + 1);
    const int arrayCount = reader.u8();
    for (int a = 0; a < arrayCount && reader.ok(); ++a) {
        HevcConfig::Array array;
        array.nalUnitType = reader.u8() & 0x3F;
        const int unitCount = reader.u16();
        for (int u = 0; u < unitCount && reader.ok(); ++u) {
            const std::uint16_t length = reader.u16();
            const ByteSpan unit = reader.take(length);
            if (reader.ok()) array.units.push_back(unit);
        }
        out.arrays.push_back(std::move(array));
    }
    return reader.ok();
}

bool writeHevcConfig(const std::vector<ByteSpan>& parameterSets, std::vector<std::uint8_t>& record) {
    std::vector<ByteSpan> arrays[3];
    for (const ByteSpan& unit : parameterSets) {
        const int type = unit.size < 2 ? -1 : nalTypeOf(unit.data[0], true);
        std::size_t slot = 0;
        while (slot < 3 && kArrayOrder[slot] != type) ++slot;
        if (slot == 3) return false;
        arrays[slot].push_back(unit);
    }
    HevcConfig config;
    for (const std::vector<ByteSpan>& array : arrays)
        if (array.empty() || array.size() > 0xFFFF) return false;
    HevcPictureLayout layout;
    if (!readHevcSequenceSet(arrays[1].front(), config, layout)) return false;

    RecordWriter out;
    out.u8(1);  // configuration version
    out.u8((config.profileSpace << 6) | (config.tierFlag << 5) | config.profileIdc);
    out.u32(config.compatibilityFlags);
    for (std::uint8_t byte : config.constraintFlags) out.u8(byte);
    out.u8(config.levelIdc);
    out.u16(0xF000);  // minimum spatial segmentation: unknown
    out.u8(0xFC);     // parallelism: unknown
    out.u8(0xFC | config.chromaFormat);
    out.u8(0xF8 | (config.bitDepthLuma - 8));
    out.u8(0xF8 | (config.bitDepthChroma - 8));
    out.u16(0);  // average frame rate: unknown
    out.u8((config.temporalLayers << 3) | (config.temporalIdNested ? 0x04 : 0) | 3);  // four-byte lengths
    out.u8(3);
    for (std::size_t slot = 0; slot < 3; ++slot) {
        out.u8(kArrayOrder[slot]);  // not complete: more may come in the stream
        out.u16(static_cast<unsigned>(arrays[slot].size()));
        for (const ByteSpan& unit : arrays[slot]) out.unit(unit);
    }
    if (!out.ok()) return false;
    record.swap(out.bytes());
    return true;
}

std::string hevcCodecString(std::uint32_t format, const HevcConfig& config) {
    static const char* const kSpaces[] = {"", "A", "B", "C"};
    std::uint32_t reversed = 0;
    for (int i = 0; i < 32; ++i)
        if (config.compatibilityFlags & (1u << i)) reversed |= 1u << (31 - i);
    char text[64];
    std::snprintf(text, sizeof text, ".%s%u.%X.%c%u", kSpaces[config.profileSpace & 3], unsigned(config.profileIdc),
                  unsigned(reversed), config.tierFlag ? 'H' : 'L', unsigned(config.levelIdc));
    std::string codec = fourccText(format) + text;
    int last = 5;
    while (last >= 0 && config.constraintFlags[last] == 0) --last;
    for (int i = 0; i <= last; ++i) {
        std::snprintf(text, sizeof text, ".%X", unsigned(config.constraintFlags[i]));
        codec += text;
    }
    return codec;
}

}  // namespace mp4
