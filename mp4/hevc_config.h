#pragma once
// The HEVC decoder configuration record of an 'hvcC' box, read and written.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mp4/byte_reader.h"

namespace mp4 {

struct HevcConfig {
    std::uint8_t profileSpace = 0;
    std::uint8_t tierFlag = 0;
    std::uint8_t profileIdc = 0;
    std::uint32_t compatibilityFlags = 0;
    std::uint8_t constraintFlags[6] = {};
    std::uint8_t levelIdc = 0;
    std::uint8_t chromaFormat = 0;
    std::uint8_t bitDepthLuma = 8;
    std::uint8_t bitDepthChroma = 8;
    std::uint8_t temporalLayers = 0;  // 0: unknown
    bool temporalIdNested = false;
    std::uint8_t nalLengthSize = 0;
    struct Array {
        std::uint8_t nalUnitType = 0;
        std::vector<ByteSpan> units;
    };
    std::vector<Array> arrays;  // in record order
};

class BitReader;

// A short-term reference picture set: the order-count distances of the pictures before the
// current one (nearest first, negative) and after it (nearest first), and which of them the
// current picture predicts from.
struct HevcRefPicSet {
    struct Picture {
        std::int32_t delta = 0;
        bool used = false;
    };
    std::vector<Picture> before;
    std::vector<Picture> after;

    std::size_t pictures() const { return before.size() + after.size(); }
    // The pictures the current one predicts from, as the reference lists count them.
    int usedByCurrent() const;
};

// The picture layout an H.265 SPS gives, as slice headers are read with it. `width` is 0 when
// the SPS is cut off or out of range after the record's fields.
struct HevcPictureLayout {
    std::uint32_t spsId = 0;
    bool separateColourPlanes = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int log2MaxPocLsb = 4;
    int log2CtbSize = 4;

    // The fields a slice segment header is read with to its end, to be relied on only when
    // `sliceFieldsKnown`: the whole SPS read as its syntax has it, up to its trailing bits. A
    // field read wrongly would make every slice's entry points look wrong, so an SPS of a kind
    // this reader does not follow (screen-content or 3D extensions, extension data, a set cut
    // short) leaves them unknown.
    bool sliceFieldsKnown = false;
    int chromaArrayType = 1;  // 0 for monochrome and separately coded colour planes
    bool sampleAdaptiveOffset = false;
    std::vector<HevcRefPicSet> refPicSets;
    bool longTermRefs = false;
    std::vector<bool> longTermUsed;  // of each long-term picture the SPS lists
    bool temporalMvp = false;
};

// Reads an SPS (its two header bytes included): the record's fields (the general
// profile_tier_level, temporal layers, chroma format, bit depths) into `config`, and its picture
// layout. False when the record's fields cannot be read.
bool readHevcSequenceSet(ByteSpan sps, HevcConfig& config, HevcPictureLayout& layout);

// Reads the short-term reference picture set that follows `earlier` (the SPS's sets before it;
// in a slice header all of the SPS's sets), predicted from one of them when its flag says so.
// `inSliceHeader`: the set is a slice header's own, which names the set it is predicted from.
// False when a field is out of range or the bits run out.
bool readHevcRefPicSet(BitReader& bits, const std::vector<HevcRefPicSet>& earlier, bool inSliceHeader,
                       HevcRefPicSet& out);

// Passes over a scaling_list_data structure (of an SPS or a PPS). False when a code is out of
// range or the bits run out.
bool skipHevcScalingLists(BitReader& bits);

// Whether the RBSP of `size` bytes ends at the reader's position: the stop bit, zero bits to the
// byte's end, then nothing but zero bytes.
bool endsWithTrailingBits(BitReader& bits, std::size_t size);

// False when the record is shorter than its counts say.
bool parseHevcConfig(ByteSpan payload, HevcConfig& out);

// The record of an H.265 stream's parameter sets (NAL units from their two header bytes on,
// without start codes, in stream order), with four-byte lengths and one array per unit type in
// the order VPS, SPS, PPS. Profile, tier, level, picture format and temporal layers come from
// the first SPS; segmentation, parallelism and frame rate are written as unknown, and the arrays
// as not complete (the stream carries its parameter sets itself). False when a VPS, SPS or PPS
// is missing, a unit is of another type or longer than 65535 bytes, or the first SPS cannot be
// read.
bool writeHevcConfig(const std::vector<ByteSpan>& parameterSets, std::vector<std::uint8_t>& record);

// "hvc1.1.6.L93.B0": format, profile space and profile, reversed compatibility flags, tier and
// level, and the constraint bytes without trailing zero bytes.
std::string hevcCodecString(std::uint32_t format, const HevcConfig& config);

}  // namespace mp4
