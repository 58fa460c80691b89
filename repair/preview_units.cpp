#include "repair/preview_units.h"

#include "media/h264_bit_reader.h"
#include "mp4/nal_header.h"

namespace {

constexpr int kAvcSliceTypeI = 2;
constexpr int kAvcSliceTypeSi = 4;

PreviewUnitKind avcKind(int type, const std::uint8_t* lead, std::size_t leadLength) {
    if (mp4::isParameterSetType(type, false)) return {PreviewUnit::ParameterSet, false};
    if (type >= 9 && type <= 11) return {PreviewUnit::PictureBoundary, false};
    if (type < 1 || type > 5) return {};
    if (leadLength < 2) return {};
    // first_mb_in_slice is ue(v): 0 is the single bit 1. A first slice's header thus starts
    // with a set bit, and no emulation-prevention byte can lie in the slice type behind it.
    const bool first = (lead[1] & 0x80) != 0;
    if (type == 5) return {PreviewUnit::StandAloneSlice, first};
    if (type != 1 || !first) return {PreviewUnit::DependentSlice, first};
    BitReader header(lead + 1, leadLength - 1);
    header.readUe();
    const std::uint32_t sliceType = header.readUe() % 5;
    const bool intra = sliceType == kAvcSliceTypeI || sliceType == kAvcSliceTypeSi;
    return {intra ? PreviewUnit::StandAloneSlice : PreviewUnit::DependentSlice, true};
}

PreviewUnitKind hevcKind(int type, const std::uint8_t* lead, std::size_t leadLength) {
    if (mp4::isParameterSetType(type, true)) return {PreviewUnit::ParameterSet, false};
    if (type >= 35 && type <= 37) return {PreviewUnit::PictureBoundary, false};
    const bool irap = type >= 16 && type <= 21;
    if (!irap && (type < 0 || type > 9)) return {};
    if (leadLength < 3) return {};
    const bool first = (lead[2] & 0x80) != 0;  // first_slice_segment_in_pic_flag
    return {irap ? PreviewUnit::StandAloneSlice : PreviewUnit::DependentSlice, first};
}

}  // namespace

PreviewUnitKind previewUnitKind(int type, bool hevc, const std::uint8_t* lead, std::size_t leadLength) {
    if (!lead) leadLength = 0;
    return hevc ? hevcKind(type, lead, leadLength) : avcKind(type, lead, leadLength);
}
