#include "media/h264_syntax.h"

namespace {

enum SliceGroupMapType : std::uint32_t { kInterleaved = 0, kForeground = 2, kBoxOut = 3, kWipe = 5, kExplicit = 6 };

void readSliceGroupMap(BitReader& r, H264Pps& pps) {
    pps.slice_group_map_type = r.readUe();
    const std::uint64_t groups = std::uint64_t(pps.num_slice_groups_minus1) + 1;
    switch (pps.slice_group_map_type) {
    case kInterleaved:
        for (std::uint64_t g = 0; g < groups && !r.atEnd(); ++g) storeEntry(pps.run_length_minus1, g, r.readUe());
        break;
    case kForeground:
        for (std::uint64_t g = 0; g + 1 < groups && !r.atEnd(); ++g) {
            storeEntry(pps.top_left, g, r.readUe());
            storeEntry(pps.bottom_right, g, r.readUe());
        }
        break;
    case kBoxOut:
    case kBoxOut + 1:
    case kWipe:
        pps.slice_group_change_direction_flag = r.readBit();
        pps.slice_group_change_rate_minus1 = r.readUe();
        break;
    case kExplicit: {
        pps.pic_size_in_map_units_minus1 = r.readUe();
        const int bits = ceilLog2(groups);
        // Every id takes at least one bit (groups > 1 here), so the loop ends with the data.
        for (std::uint64_t i = 0; i <= pps.pic_size_in_map_units_minus1 && !r.atEnd(); ++i)
            storeEntry(pps.slice_group_id, i, r.readBits(bits));
        break;
    }
    default:
        break;
    }
}

}  // namespace

void readPicParameterSet(BitReader& r, const H264Sps& sps, H264Pps& pps) {
    pps = H264Pps{};
    pps.pic_parameter_set_id = r.readUe();
    pps.seq_parameter_set_id = r.readUe();
    pps.entropy_coding_mode_flag = r.readBit();
    pps.bottom_field_pic_order_in_frame_present_flag = r.readBit();
    pps.num_slice_groups_minus1 = r.readUe();
    if (pps.num_slice_groups_minus1 > 0) readSliceGroupMap(r, pps);
    pps.num_ref_idx_l0_default_active_minus1 = r.readUe();
    pps.num_ref_idx_l1_default_active_minus1 = r.readUe();
    pps.weighted_pred_flag = r.readBit();
    pps.weighted_bipred_idc = r.readBits(2);
    pps.pic_init_qp_minus26 = r.readSe();
    pps.pic_init_qs_minus26 = r.readSe();
    pps.chroma_qp_index_offset = r.readSe();
    pps.deblocking_filter_control_present_flag = r.readBit();
    pps.constrained_intra_pred_flag = r.readBit();
    pps.redundant_pic_cnt_present_flag = r.readBit();
    // The tail is present only when data other than the trailing bits remains.
    if (r.moreRbspData()) {
        pps.transform_8x8_mode_flag = r.readBit();
        pps.pic_scaling_matrix_present_flag = r.readBit();
        if (pps.pic_scaling_matrix_present_flag) {
            const int lists = 6 + (sps.chroma_format_idc != 3 ? 2 : 6) * int(pps.transform_8x8_mode_flag);
            for (int i = 0; i < lists; ++i) {
                pps.pic_scaling_list_present_flag[i] = r.readBit();
                if (pps.pic_scaling_list_present_flag[i]) skipScalingList(r, i < 6 ? 16 : 64);
            }
        }
        pps.second_chroma_qp_index_offset = r.readSe();
    }
    r.readTrailingBits();
}
