#include "media/h264_nal.h"

#include <algorithm>
#include <climits>
#include <iterator>

#include "media/h264_syntax.h"

namespace {

using UnitReader = void (*)(BitReader&, H264ParserState&);

struct UnitKind {
    std::uint32_t nalUnitType;
    UnitReader read;
};

// Types without a reader stop after the header.
const UnitKind kUnitKinds[] = {
    {6, [](BitReader& r, H264ParserState& s) { readSei(r, s.sei); }},
    {7, [](BitReader& r, H264ParserState& s) { readSeqParameterSet(r, s.sps); }},
    {8, [](BitReader& r, H264ParserState& s) { readPicParameterSet(r, s.sps, s.pps); }},
    {9, [](BitReader& r, H264ParserState& s) { readAccessUnitDelimiter(r, s.aud); }},
    {1, [](BitReader& r, H264ParserState& s) { readSliceHeader(r, s.nal, s.sps, s.pps, s.sh); }},
    {5, [](BitReader& r, H264ParserState& s) { readSliceHeader(r, s.nal, s.sps, s.pps, s.sh); }},
    {19, [](BitReader& r, H264ParserState& s) { readSliceHeader(r, s.nal, s.sps, s.pps, s.sh); }},
};

struct CropUnits {
    int x;
    int y;  // for frame coding; doubled for field coding
};

// SubWidthC and SubHeightC per chroma_format_idc (ChromaArrayType 0 crops in luma samples);
// an invalid format counts as 4:2:0.
CropUnits cropUnits(const H264Sps& sps) {
    constexpr CropUnits kByFormat[] = {{1, 1}, {2, 2}, {2, 1}, {1, 1}};
    if (sps.separate_colour_plane_flag) return {1, 1};
    return sps.chroma_format_idc < std::size(kByFormat) ? kByFormat[sps.chroma_format_idc] : CropUnits{2, 2};
}

int clampToInt(std::int64_t value) {
    return int(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

std::vector<std::uint8_t> unitPayload(const std::uint8_t* unit, std::uint64_t size) {
    std::vector<std::uint8_t> out;
    out.reserve(size);
    for (std::uint64_t i = 1; i < size;) {
        const bool zeros = i + 2 < size && unit[i] == 0 && unit[i + 1] == 0;
        if (zeros && unit[i + 2] == 3) {
            out.push_back(0);
            out.push_back(0);
            i += 3;
        } else if (zeros && unit[i + 2] == 1) {
            break;
        } else {
            out.push_back(unit[i++]);
        }
    }
    return out;
}

void readNalUnit(const std::uint8_t* unit, std::uint64_t size, H264ParserState& state) {
    BitReader header(unit, size);
    state.nal.forbidden_zero_bit = header.readBit();
    state.nal.nal_ref_idc = header.readBits(2);
    state.nal.nal_unit_type = header.readBits(5);
    const auto kind = std::find_if(std::begin(kUnitKinds), std::end(kUnitKinds),
                                   [&](const UnitKind& k) { return k.nalUnitType == state.nal.nal_unit_type; });
    if (kind == std::end(kUnitKinds)) return;
    const std::vector<std::uint8_t> payload = unitPayload(unit, size);
    BitReader reader(payload.data(), payload.size());
    kind->read(reader, state);
}

int pictureWidth(const H264Sps& sps) {
    const std::int64_t crop = std::int64_t(sps.frame_crop_left_offset) + sps.frame_crop_right_offset;
    return clampToInt((std::int64_t(sps.pic_width_in_mbs_minus1) + 1) * 16 - cropUnits(sps).x * crop);
}

int pictureHeight(const H264Sps& sps) {
    const std::int64_t fieldFactor = 2 - std::int64_t(sps.frame_mbs_only_flag);
    const std::int64_t crop = std::int64_t(sps.frame_crop_top_offset) + sps.frame_crop_bottom_offset;
    return clampToInt(fieldFactor * (std::int64_t(sps.pic_height_in_map_units_minus1) + 1) * 16 -
                      cropUnits(sps).y * fieldFactor * crop);
}
