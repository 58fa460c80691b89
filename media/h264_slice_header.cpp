#include <algorithm>

#include "media/h264_syntax.h"

namespace {

enum SliceType : std::uint32_t { kP = 0, kB = 1, kI = 2, kSp = 3, kSi = 4 };
constexpr std::uint32_t kIdrNalType = 5;
constexpr std::uint32_t kReorderingEnd = 3;
constexpr std::uint32_t kMarkingEnd = 0;

// Field widths come from the stream; u(n) takes at most 32 bits.
int fieldWidth(std::uint32_t log2Minus4) { return log2Minus4 > 28 ? 32 : int(log2Minus4) + 4; }

std::uint32_t chromaArrayType(const H264Sps& sps) {
    return sps.separate_colour_plane_flag ? 0 : sps.chroma_format_idc;
}

void readReordering(BitReader& r, H264Reordering& list) {
    list.ref_pic_list_reordering_flag = r.readBit();
    if (!list.ref_pic_list_reordering_flag) return;
    do {
        list.reordering_of_pic_nums_idc = r.readUe();
        if (list.reordering_of_pic_nums_idc == 0 || list.reordering_of_pic_nums_idc == 1)
            list.abs_diff_pic_num_minus1 = r.readUe();
        else if (list.reordering_of_pic_nums_idc == 2)
            list.long_term_pic_num = r.readUe();
    } while (list.reordering_of_pic_nums_idc != kReorderingEnd && !r.atEnd());
}

void readWeights(BitReader& r, std::uint32_t activeMinus1, bool chroma, H264PredWeightList& list) {
    for (std::uint64_t i = 0; i <= activeMinus1 && !r.atEnd(); ++i) {
        const std::uint32_t lumaFlag = r.readBit();
        storeEntry(list.luma_weight_flag, i, lumaFlag);
        if (lumaFlag) {
            storeEntry(list.luma_weight, i, r.readSe());
            storeEntry(list.luma_offset, i, r.readSe());
        }
        if (!chroma) continue;
        const std::uint32_t chromaFlag = r.readBit();
        storeEntry(list.chroma_weight_flag, i, chromaFlag);
        if (!chromaFlag) continue;
        for (int j = 0; j < 2; ++j) {
            const std::int32_t weight = r.readSe();
            const std::int32_t offset = r.readSe();
            if (i < H264PredWeightList::kRefs) {
                list.chroma_weight[i][j] = weight;
                list.chroma_offset[i][j] = offset;
            }
        }
    }
}

void readPredWeightTable(BitReader& r, const H264Sps& sps, H264SliceHeader& sh, std::uint32_t type) {
    const bool chroma = chromaArrayType(sps) != 0;
    sh.pwt.luma_log2_weight_denom = r.readUe();
    if (chroma) sh.pwt.chroma_log2_weight_denom = r.readUe();
    readWeights(r, sh.num_ref_idx_l0_active_minus1, chroma, sh.pwt.l0);
    if (type == kB) readWeights(r, sh.num_ref_idx_l1_active_minus1, chroma, sh.pwt.l1);
}

void readDecRefPicMarking(BitReader& r, bool idr, H264DecRefPicMarking& m) {
    if (idr) {
        m.no_output_of_prior_pics_flag = r.readBit();
        m.long_term_reference_flag = r.readBit();
        return;
    }
    m.adaptive_ref_pic_marking_mode_flag = r.readBit();
    if (!m.adaptive_ref_pic_marking_mode_flag) return;
    do {
        const std::uint32_t op = m.memory_management_control_operation = r.readUe();
        if (op == 1 || op == 3) m.difference_of_pic_nums_minus1 = r.readUe();
        if (op == 2) m.long_term_pic_num = r.readUe();
        if (op == 3 || op == 6) m.long_term_frame_idx = r.readUe();
        if (op == 4) m.max_long_term_frame_idx_plus1 = r.readUe();
    } while (m.memory_management_control_operation != kMarkingEnd && !r.atEnd());
}

// Ceil(Log2(PicSizeInMapUnits / SliceGroupChangeRate + 1)) with exact division, which equals
// Ceil(Log2(Ceil(PicSizeInMapUnits / SliceGroupChangeRate) + 1)). Sizes are capped so the product
// cannot overflow; the width is at most 32 anyway.
int sliceGroupChangeCycleWidth(const H264Sps& sps, const H264Pps& pps) {
    constexpr std::uint64_t kCap = std::uint64_t(1) << 31;
    const std::uint64_t width = std::min<std::uint64_t>(std::uint64_t(sps.pic_width_in_mbs_minus1) + 1, kCap);
    const std::uint64_t height = std::min<std::uint64_t>(std::uint64_t(sps.pic_height_in_map_units_minus1) + 1, kCap);
    const std::uint64_t rate = std::uint64_t(pps.slice_group_change_rate_minus1) + 1;
    const std::uint64_t picSize = width * height;
    return ceilLog2((picSize + rate - 1) / rate + 1);
}

}  // namespace

void readSliceHeader(BitReader& r, const H264NalHeader& nal, const H264Sps& sps, const H264Pps& pps,
                     H264SliceHeader& sh) {
    sh = H264SliceHeader{};
    const bool idr = nal.nal_unit_type == kIdrNalType;
    sh.first_mb_in_slice = r.readUe();
    sh.slice_type = r.readUe();
    const std::uint32_t type = sh.slice_type % 5;
    sh.pic_parameter_set_id = r.readUe();
    if (sps.separate_colour_plane_flag) sh.colour_plane_id = r.readBits(2);
    sh.frame_num = r.readBits(fieldWidth(sps.log2_max_frame_num_minus4));
    if (!sps.frame_mbs_only_flag) {
        sh.field_pic_flag = r.readBit();
        if (sh.field_pic_flag) sh.bottom_field_flag = r.readBit();
    }
    if (idr) sh.idr_pic_id = r.readUe();
    if (sps.pic_order_cnt_type == 0) {
        sh.pic_order_cnt_lsb = r.readBits(fieldWidth(sps.log2_max_pic_order_cnt_lsb_minus4));
        if (pps.bottom_field_pic_order_in_frame_present_flag && !sh.field_pic_flag)
            sh.delta_pic_order_cnt_bottom = r.readSe();
    }
    if (sps.pic_order_cnt_type == 1 && !sps.delta_pic_order_always_zero_flag) {
        sh.delta_pic_order_cnt[0] = r.readSe();
        if (pps.bottom_field_pic_order_in_frame_present_flag && !sh.field_pic_flag)
            sh.delta_pic_order_cnt[1] = r.readSe();
    }
    if (pps.redundant_pic_cnt_present_flag) sh.redundant_pic_cnt = r.readUe();
    if (type == kB) sh.direct_spatial_mv_pred_flag = r.readBit();
    sh.num_ref_idx_l0_active_minus1 = pps.num_ref_idx_l0_default_active_minus1;
    sh.num_ref_idx_l1_active_minus1 = pps.num_ref_idx_l1_default_active_minus1;
    if (type == kP || type == kSp || type == kB) {
        sh.num_ref_idx_active_override_flag = r.readBit();
        if (sh.num_ref_idx_active_override_flag) {
            sh.num_ref_idx_l0_active_minus1 = r.readUe();
            if (type == kB) sh.num_ref_idx_l1_active_minus1 = r.readUe();
        }
    }
    if (type != kI && type != kSi) readReordering(r, sh.reordering_l0);
    if (type == kB) readReordering(r, sh.reordering_l1);
    if ((pps.weighted_pred_flag && (type == kP || type == kSp)) || (pps.weighted_bipred_idc == 1 && type == kB))
        readPredWeightTable(r, sps, sh, type);
    if (nal.nal_ref_idc != 0) readDecRefPicMarking(r, idr, sh.drpm);
    if (pps.entropy_coding_mode_flag && type != kI && type != kSi) sh.cabac_init_idc = r.readUe();
    sh.slice_qp_delta = r.readSe();
    if (type == kSp || type == kSi) {
        if (type == kSp) sh.sp_for_switch_flag = r.readBit();
        sh.slice_qs_delta = r.readSe();
    }
    if (pps.deblocking_filter_control_present_flag) {
        sh.disable_deblocking_filter_idc = r.readUe();
        if (sh.disable_deblocking_filter_idc != 1) {
            sh.slice_alpha_c0_offset_div2 = r.readSe();
            sh.slice_beta_offset_div2 = r.readSe();
        }
    }
    if (pps.num_slice_groups_minus1 > 0 && pps.slice_group_map_type >= 3 && pps.slice_group_map_type <= 5)
        sh.slice_group_change_cycle = r.readBits(sliceGroupChangeCycleWidth(sps, pps));
}
