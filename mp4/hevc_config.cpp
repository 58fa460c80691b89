#include "mp4/hevc_config.h"

#include <algorithm>
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
// An SPS is read to its end, and real ones are far shorter than this; one that is not is read
// no further than here (its record fields lie inside the first 128 bytes whatever the number
// of sub-layers), and its slice fields stay unknown.
constexpr std::size_t kSpsBytes = 4096;

// Bounds of the syntax: reference sets and long-term pictures an SPS may list, pictures a
// reference set may hold (the largest picture buffer), order-count distances in one.
constexpr std::int64_t kMaxRefPicSets = 64;
constexpr std::int64_t kMaxLongTermPictures = 32;
constexpr std::size_t kMaxSetPictures = 16;
constexpr std::int64_t kMaxPocDistance = 1 << 15;

// The HRD parameters of a VUI, passed over; false when a code cannot be read.
bool skipSubLayerHrd(BitReader& bits, std::int64_t cpbs, bool subPictureParams) {
    for (std::int64_t i = 0; i < cpbs; ++i) {
        const int codes = subPictureParams ? 4 : 2;
        for (int k = 0; k < codes; ++k)
            if (readUeGolomb(bits) < 0) return false;
        bits.readBit();  // cbr_flag
    }
    return true;
}

bool skipHrd(BitReader& bits, unsigned subLayersMinus1) {
    const bool nal = bits.readBit() != 0;
    const bool vcl = bits.readBit() != 0;
    bool subPictureParams = false;
    if (nal || vcl) {
        subPictureParams = bits.readBit() != 0;
        if (subPictureParams) bits.skipBits(8 + 5 + 1 + 5);
        bits.skipBits(4 + 4);  // bit rate and CPB size scales
        if (subPictureParams) bits.skipBits(4);
        bits.skipBits(5 + 5 + 5);  // delay lengths
    }
    for (unsigned i = 0; i <= subLayersMinus1; ++i) {
        const bool fixedGeneral = bits.readBit() != 0;
        const bool fixedInSequence = fixedGeneral || bits.readBit() != 0;
        bool lowDelay = false;
        if (fixedInSequence) {
            if (readUeGolomb(bits) < 0) return false;  // elemental duration
        } else {
            lowDelay = bits.readBit() != 0;
        }
        std::int64_t cpbs = 1;
        if (!lowDelay) {
            const std::int64_t cpbsMinus1 = readUeAtMost(bits, 31);
            if (cpbsMinus1 < 0) return false;
            cpbs = cpbsMinus1 + 1;
        }
        if (nal && !skipSubLayerHrd(bits, cpbs, subPictureParams)) return false;
        if (vcl && !skipSubLayerHrd(bits, cpbs, subPictureParams)) return false;
    }
    return !bits.overrun();
}

// The VUI parameters, passed over to reach the fields behind them.
bool skipVui(BitReader& bits, unsigned subLayersMinus1) {
    if (bits.readBit()) {  // aspect ratio
        if (bits.readBits(8) == 255) bits.skipBits(32);  // explicit sample aspect ratio
    }
    if (bits.readBit()) bits.readBit();  // overscan
    if (bits.readBit()) {                // video signal type
        bits.skipBits(3 + 1);
        if (bits.readBit()) bits.skipBits(24);  // colour description
    }
    if (bits.readBit())  // chroma sample location
        for (int i = 0; i < 2; ++i)
            if (readUeGolomb(bits) < 0) return false;
    bits.skipBits(3);    // neutral chroma, field sequence, frame-field info
    if (bits.readBit())  // default display window
        for (int i = 0; i < 4; ++i)
            if (readUeGolomb(bits) < 0) return false;
    if (bits.readBit()) {  // timing
        bits.skipBits(64);
        if (bits.readBit() && readUeGolomb(bits) < 0) return false;  // order count proportional to timing
        if (bits.readBit() && !skipHrd(bits, subLayersMinus1)) return false;
    }
    if (bits.readBit()) {  // bitstream restriction
        bits.skipBits(3);
        for (int i = 0; i < 5; ++i)
            if (readUeGolomb(bits) < 0) return false;
    }
    return !bits.overrun();
}

// The SPS behind the coding block sizes, to its trailing bits: what slice headers are read with.
bool readSliceFields(BitReader& bits, std::size_t size, unsigned subLayersMinus1, HevcPictureLayout& layout) {
    for (int i = 0; i < 4; ++i)  // transform block sizes and hierarchy depths
        if (readUeGolomb(bits) < 0) return false;
    if (bits.readBit() && bits.readBit() && !skipHevcScalingLists(bits)) return false;
    bits.readBit();  // asymmetric motion partitions
    layout.sampleAdaptiveOffset = bits.readBit() != 0;
    if (bits.readBit()) {  // PCM
        bits.skipBits(4 + 4);
        if (readUeGolomb(bits) < 0 || readUeGolomb(bits) < 0) return false;
        bits.readBit();
    }
    const std::int64_t sets = readUeAtMost(bits, kMaxRefPicSets);
    if (sets < 0) return false;
    layout.refPicSets.clear();
    for (std::int64_t i = 0; i < sets; ++i) {
        HevcRefPicSet set;
        if (!readHevcRefPicSet(bits, layout.refPicSets, false, set)) return false;
        layout.refPicSets.push_back(std::move(set));
    }
    layout.longTermRefs = bits.readBit() != 0;
    layout.longTermUsed.clear();
    if (layout.longTermRefs) {
        const std::int64_t pictures = readUeAtMost(bits, kMaxLongTermPictures);
        if (pictures < 0) return false;
        for (std::int64_t i = 0; i < pictures; ++i) {
            bits.skipBits(static_cast<std::size_t>(layout.log2MaxPocLsb));
            layout.longTermUsed.push_back(bits.readBit() != 0);
        }
    }
    layout.temporalMvp = bits.readBit() != 0;
    bits.readBit();  // strong intra smoothing
    if (bits.readBit() && !skipVui(bits, subLayersMinus1)) return false;
    if (bits.readBit()) {  // extensions
        const bool range = bits.readBit() != 0;
        const bool multilayer = bits.readBit() != 0;
        const bool threeD = bits.readBit() != 0;
        const bool screenContent = bits.readBit() != 0;
        const unsigned further = bits.readBits(4);
        // The screen-content extension adds slice-header fields, the others data this reader
        // does not follow to the end.
        if (threeD || screenContent || further != 0) return false;
        if (range) bits.skipBits(9);
        if (multilayer) bits.skipBits(1);
    }
    return endsWithTrailingBits(bits, size);
}

}  // namespace

int HevcRefPicSet::usedByCurrent() const {
    int used = 0;
    for (const Picture& p : before) used += p.used;
    for (const Picture& p : after) used += p.used;
    return used;
}

bool readHevcRefPicSet(BitReader& bits, const std::vector<HevcRefPicSet>& earlier, bool inSliceHeader,
                       HevcRefPicSet& out) {
    out = HevcRefPicSet{};
    const std::size_t index = earlier.size();
    if (index != 0 && bits.readBit()) {
        // Predicted from an earlier set: its pictures moved by deltaRps, the earlier set's own
        // picture among them, each kept or dropped by its flags.
        std::size_t from = index - 1;
        if (inSliceHeader) {
            const std::int64_t back = readUeAtMost(bits, std::int64_t(index) - 1);
            if (back < 0) return false;
            from = index - 1 - std::size_t(back);
        }
        const bool negative = bits.readBit() != 0;
        const std::int64_t distance = readUeAtMost(bits, kMaxPocDistance - 1);
        if (distance < 0) return false;
        const std::int32_t deltaRps = std::int32_t(negative ? -(distance + 1) : distance + 1);
        const HevcRefPicSet& ref = earlier[from];
        const std::size_t count = ref.pictures();
        std::vector<bool> used(count + 1), kept(count + 1, true);
        for (std::size_t j = 0; j <= count; ++j) {
            used[j] = bits.readBit() != 0;
            if (!used[j]) kept[j] = bits.readBit() != 0;
        }
        const std::size_t firstAfter = ref.before.size();
        auto take = [&](std::vector<HevcRefPicSet::Picture>& side, std::int32_t delta, std::size_t j) {
            if (kept[j]) side.push_back({delta, used[j]});
        };
        // Before the current picture, nearest first.
        for (std::size_t j = ref.after.size(); j-- > 0;)
            if (ref.after[j].delta + deltaRps < 0) take(out.before, ref.after[j].delta + deltaRps, firstAfter + j);
        if (deltaRps < 0) take(out.before, deltaRps, count);
        for (std::size_t j = 0; j < ref.before.size(); ++j)
            if (ref.before[j].delta + deltaRps < 0) take(out.before, ref.before[j].delta + deltaRps, j);
        // After it, nearest first.
        for (std::size_t j = ref.before.size(); j-- > 0;)
            if (ref.before[j].delta + deltaRps > 0) take(out.after, ref.before[j].delta + deltaRps, j);
        if (deltaRps > 0) take(out.after, deltaRps, count);
        for (std::size_t j = 0; j < ref.after.size(); ++j)
            if (ref.after[j].delta + deltaRps > 0) take(out.after, ref.after[j].delta + deltaRps, firstAfter + j);
    } else {
        const std::int64_t before = readUeAtMost(bits, std::int64_t(kMaxSetPictures));
        const std::int64_t after = readUeAtMost(bits, std::int64_t(kMaxSetPictures));
        if (before < 0 || after < 0) return false;
        std::int32_t delta = 0;
        for (std::int64_t i = 0; i < before; ++i) {
            const std::int64_t step = readUeAtMost(bits, kMaxPocDistance - 1);
            if (step < 0) return false;
            delta -= std::int32_t(step + 1);
            out.before.push_back({delta, bits.readBit() != 0});
        }
        delta = 0;
        for (std::int64_t i = 0; i < after; ++i) {
            const std::int64_t step = readUeAtMost(bits, kMaxPocDistance - 1);
            if (step < 0) return false;
            delta += std::int32_t(step + 1);
            out.after.push_back({delta, bits.readBit() != 0});
        }
    }
    return out.pictures() <= kMaxSetPictures && !bits.overrun();
}

bool skipHevcScalingLists(BitReader& bits) {
    for (int sizeId = 0; sizeId < 4; ++sizeId) {
        for (int matrixId = 0; matrixId < 6; matrixId += sizeId == 3 ? 3 : 1) {
            if (!bits.readBit()) {
                // Copied from an earlier list of the same size.
                if (readUeAtMost(bits, sizeId == 3 ? matrixId / 3 : matrixId) < 0) return false;
                continue;
            }
            const int coefficients = std::min(64, 1 << (4 + (sizeId << 1)));
            if (sizeId > 1 && !skipSeGolomb(bits)) return false;  // DC coefficient
            for (int i = 0; i < coefficients; ++i)
                if (!skipSeGolomb(bits)) return false;
        }
    }
    return !bits.overrun();
}

bool endsWithTrailingBits(BitReader& bits, std::size_t size) {
    if (bits.overrun() || bits.readBit() != 1) return false;
    while (bits.position() % 8 != 0)
        if (bits.readBit() != 0) return false;
    while (bits.position() < size * 8)
        if (bits.readBits(8) != 0) return false;
    return !bits.overrun();
}

bool readHevcSequenceSet(ByteSpan sps, HevcConfig& config, HevcPictureLayout& layout) {
    const std::vector<std::uint8_t> rbsp = rbspOf(sps, 2, kSpsBytes);
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
    layout.chromaArrayType = layout.separateColourPlanes ? 0 : static_cast<int>(chroma);
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
    // Bytes up to the limit may be a longer set cut off: its end is not in them.
    layout.sliceFieldsKnown =
        rbsp.size() < kSpsBytes && readSliceFields(bits, rbsp.size(), subLayersMinus1, layout);
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
