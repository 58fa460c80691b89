#include <algorithm>
#include <iterator>

#include "media/h264_syntax.h"

namespace {

// Profiles whose sequence parameter set carries the chroma format block (7.3.2.1.1), including
// 244 (High 4:4:4 Predictive) and the old 144.
constexpr std::uint32_t kChromaBlockProfiles[] = {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135, 144};

bool hasChromaBlock(std::uint32_t profile) {
    return std::find(std::begin(kChromaBlockProfiles), std::end(kChromaBlockProfiles), profile) !=
           std::end(kChromaBlockProfiles);
}

void readHrd(BitReader& r, H264Hrd& hrd) {
    hrd = H264Hrd{};
    hrd.cpb_cnt_minus1 = r.readUe();
    hrd.bit_rate_scale = r.readBits(4);
    hrd.cpb_size_scale = r.readBits(4);
    for (std::uint64_t i = 0; i <= hrd.cpb_cnt_minus1 && !r.atEnd(); ++i) {
        storeEntry(hrd.bit_rate_value_minus1, i, r.readUe());
        storeEntry(hrd.cpb_size_value_minus1, i, r.readUe());
        storeEntry(hrd.cbr_flag, i, r.readBit());
    }
    hrd.initial_cpb_removal_delay_length_minus1 = r.readBits(5);
    hrd.cpb_removal_delay_length_minus1 = r.readBits(5);
    hrd.dpb_output_delay_length_minus1 = r.readBits(5);
    hrd.time_offset_length = r.readBits(5);
}

constexpr std::uint32_t kExtendedSar = 255;

void readVui(BitReader& r, H264Vui& vui, H264Hrd& hrd) {
    vui.aspect_ratio_info_present_flag = r.readBit();
    if (vui.aspect_ratio_info_present_flag) {
        vui.aspect_ratio_idc = r.readByte();
        if (vui.aspect_ratio_idc == kExtendedSar) {
            vui.sar_width = r.readBits(16);
            vui.sar_height = r.readBits(16);
        }
    }
    vui.overscan_info_present_flag = r.readBit();
    if (vui.overscan_info_present_flag) vui.overscan_appropriate_flag = r.readBit();
    vui.video_signal_type_present_flag = r.readBit();
    if (vui.video_signal_type_present_flag) {
        vui.video_format = r.readBits(3);
        vui.video_full_range_flag = r.readBit();
        vui.colour_description_present_flag = r.readBit();
        if (vui.colour_description_present_flag) {
            vui.colour_primaries = r.readByte();
            vui.transfer_characteristics = r.readByte();
            vui.matrix_coefficients = r.readByte();
        }
    }
    vui.chroma_loc_info_present_flag = r.readBit();
    if (vui.chroma_loc_info_present_flag) {
        vui.chroma_sample_loc_type_top_field = r.readUe();
        vui.chroma_sample_loc_type_bottom_field = r.readUe();
    }
    vui.timing_info_present_flag = r.readBit();
    if (vui.timing_info_present_flag) {
        vui.num_units_in_tick = r.readBits(32);
        vui.time_scale = r.readBits(32);
        vui.fixed_frame_rate_flag = r.readBit();
    }
    vui.nal_hrd_parameters_present_flag = r.readBit();
    if (vui.nal_hrd_parameters_present_flag) readHrd(r, hrd);
    vui.vcl_hrd_parameters_present_flag = r.readBit();
    if (vui.vcl_hrd_parameters_present_flag) readHrd(r, hrd);
    if (vui.nal_hrd_parameters_present_flag || vui.vcl_hrd_parameters_present_flag)
        vui.low_delay_hrd_flag = r.readBit();
    vui.pic_struct_present_flag = r.readBit();
    vui.bitstream_restriction_flag = r.readBit();
    if (vui.bitstream_restriction_flag) {
        vui.motion_vectors_over_pic_boundaries_flag = r.readBit();
        vui.max_bytes_per_pic_denom = r.readUe();
        vui.max_bits_per_mb_denom = r.readUe();
        vui.log2_max_mv_length_horizontal = r.readUe();
        vui.log2_max_mv_length_vertical = r.readUe();
        vui.num_reorder_frames = r.readUe();
        vui.max_dec_frame_buffering = r.readUe();
    }
}

void readChromaBlock(BitReader& r, H264Sps& sps) {
    sps.chroma_format_idc = r.readUe();
    if (sps.chroma_format_idc == 3) sps.separate_colour_plane_flag = r.readBit();
    sps.bit_depth_luma_minus8 = r.readUe();
    sps.bit_depth_chroma_minus8 = r.readUe();
    sps.qpprime_y_zero_transform_bypass_flag = r.readBit();
    sps.seq_scaling_matrix_present_flag = r.readBit();
    if (!sps.seq_scaling_matrix_present_flag) return;
    const int lists = sps.chroma_format_idc != 3 ? 8 : 12;
    for (int i = 0; i < lists; ++i) {
        sps.seq_scaling_list_present_flag[i] = r.readBit();
        if (sps.seq_scaling_list_present_flag[i]) skipScalingList(r, i < 6 ? 16 : 64);
    }
}

}  // namespace

void skipScalingList(BitReader& r, int size) {
    std::int64_t lastScale = 8;
    std::int64_t nextScale = 8;
    for (int j = 0; j < size; ++j) {
        if (nextScale != 0) {
            const std::int64_t delta = r.readSe();
            nextScale = ((lastScale + delta) % 256 + 256) % 256;
        }
        if (nextScale != 0) lastScale = nextScale;
    }
}

int ceilLog2(std::uint64_t n) {
    int bits = 0;
    while (bits < 32 && (std::uint64_t(1) << bits) < n) ++bits;
    return bits;
}

void readSeqParameterSet(BitReader& r, H264Sps& sps) {
    sps = H264Sps{};
    sps.profile_idc = r.readByte();
    sps.constraint_set0_flag = r.readBit();
    sps.constraint_set1_flag = r.readBit();
    sps.constraint_set2_flag = r.readBit();
    sps.constraint_set3_flag = r.readBit();
    sps.constraint_set4_flag = r.readBit();
    sps.constraint_set5_flag = r.readBit();
    sps.reserved_zero_2bits = r.readBits(2);
    sps.level_idc = r.readByte();
    sps.seq_parameter_set_id = r.readUe();
    if (hasChromaBlock(sps.profile_idc))
        readChromaBlock(r, sps);
    else
        sps.chroma_format_idc = 1;
    sps.log2_max_frame_num_minus4 = r.readUe();
    sps.pic_order_cnt_type = r.readUe();
    if (sps.pic_order_cnt_type == 0) {
        sps.log2_max_pic_order_cnt_lsb_minus4 = r.readUe();
    } else if (sps.pic_order_cnt_type == 1) {
        sps.delta_pic_order_always_zero_flag = r.readBit();
        sps.offset_for_non_ref_pic = r.readSe();
        sps.offset_for_top_to_bottom_field = r.readSe();
        sps.num_ref_frames_in_pic_order_cnt_cycle = r.readUe();
        for (std::uint64_t i = 0; i < sps.num_ref_frames_in_pic_order_cnt_cycle && !r.atEnd(); ++i)
            storeEntry(sps.offset_for_ref_frame, i, r.readSe());
    }
    sps.num_ref_frames = r.readUe();
    sps.gaps_in_frame_num_value_allowed_flag = r.readBit();
    sps.pic_width_in_mbs_minus1 = r.readUe();
    sps.pic_height_in_map_units_minus1 = r.readUe();
    sps.frame_mbs_only_flag = r.readBit();
    if (!sps.frame_mbs_only_flag) sps.mb_adaptive_frame_field_flag = r.readBit();
    sps.direct_8x8_inference_flag = r.readBit();
    sps.frame_cropping_flag = r.readBit();
    if (sps.frame_cropping_flag) {
        sps.frame_crop_left_offset = r.readUe();
        sps.frame_crop_right_offset = r.readUe();
        sps.frame_crop_top_offset = r.readUe();
        sps.frame_crop_bottom_offset = r.readUe();
    }
    sps.vui_parameters_present_flag = r.readBit();
    if (sps.vui_parameters_present_flag) readVui(r, sps.vui, sps.hrd);
    r.readTrailingBits();
}
