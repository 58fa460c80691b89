#pragma once
// Records of the H.264 parser: one per syntax structure, with the standard's field names.
// Tables indexed by counts from the stream have fixed sizes; the counts are kept as read and only
// the entries that fit are stored.
#include <cstdint>
#include <vector>

struct H264NalHeader {
    std::uint32_t forbidden_zero_bit = 0;
    std::uint32_t nal_ref_idc = 0;
    std::uint32_t nal_unit_type = 0;
};

struct H264Hrd {
    static constexpr int kSchedules = 32;
    std::uint32_t cpb_cnt_minus1 = 0;
    std::uint32_t bit_rate_scale = 0;
    std::uint32_t cpb_size_scale = 0;
    std::uint32_t bit_rate_value_minus1[kSchedules] = {};
    std::uint32_t cpb_size_value_minus1[kSchedules] = {};
    std::uint32_t cbr_flag[kSchedules] = {};
    std::uint32_t initial_cpb_removal_delay_length_minus1 = 0;
    std::uint32_t cpb_removal_delay_length_minus1 = 0;
    std::uint32_t dpb_output_delay_length_minus1 = 0;
    std::uint32_t time_offset_length = 0;
};

struct H264Vui {
    std::uint32_t aspect_ratio_info_present_flag = 0;
    std::uint32_t aspect_ratio_idc = 0;
    std::uint32_t sar_width = 0;
    std::uint32_t sar_height = 0;
    std::uint32_t overscan_info_present_flag = 0;
    std::uint32_t overscan_appropriate_flag = 0;
    std::uint32_t video_signal_type_present_flag = 0;
    std::uint32_t video_format = 0;
    std::uint32_t video_full_range_flag = 0;
    std::uint32_t colour_description_present_flag = 0;
    std::uint32_t colour_primaries = 0;
    std::uint32_t transfer_characteristics = 0;
    std::uint32_t matrix_coefficients = 0;
    std::uint32_t chroma_loc_info_present_flag = 0;
    std::uint32_t chroma_sample_loc_type_top_field = 0;
    std::uint32_t chroma_sample_loc_type_bottom_field = 0;
    std::uint32_t timing_info_present_flag = 0;
    std::uint32_t num_units_in_tick = 0;
    std::uint32_t time_scale = 0;
    std::uint32_t fixed_frame_rate_flag = 0;
    std::uint32_t nal_hrd_parameters_present_flag = 0;
    std::uint32_t vcl_hrd_parameters_present_flag = 0;
    std::uint32_t low_delay_hrd_flag = 0;
    std::uint32_t pic_struct_present_flag = 0;
    std::uint32_t bitstream_restriction_flag = 0;
    std::uint32_t motion_vectors_over_pic_boundaries_flag = 0;
    std::uint32_t max_bytes_per_pic_denom = 0;
    std::uint32_t max_bits_per_mb_denom = 0;
    std::uint32_t log2_max_mv_length_horizontal = 0;
    std::uint32_t log2_max_mv_length_vertical = 0;
    std::uint32_t num_reorder_frames = 0;
    std::uint32_t max_dec_frame_buffering = 0;
};

struct H264Sps {
    static constexpr int kRefFramesInCycle = 256;
    static constexpr int kScalingLists = 12;  // 8, or 12 for 4:4:4
    std::uint32_t profile_idc = 0;
    std::uint32_t constraint_set0_flag = 0;
    std::uint32_t constraint_set1_flag = 0;
    std::uint32_t constraint_set2_flag = 0;
    std::uint32_t constraint_set3_flag = 0;
    std::uint32_t constraint_set4_flag = 0;
    std::uint32_t constraint_set5_flag = 0;
    std::uint32_t reserved_zero_2bits = 0;
    std::uint32_t level_idc = 0;
    std::uint32_t seq_parameter_set_id = 0;
    // 1 (4:2:0) when the profile carries no chroma block, as the standard infers.
    std::uint32_t chroma_format_idc = 0;
    std::uint32_t separate_colour_plane_flag = 0;  // once called residual_colour_transform_flag
    std::uint32_t bit_depth_luma_minus8 = 0;
    std::uint32_t bit_depth_chroma_minus8 = 0;
    std::uint32_t qpprime_y_zero_transform_bypass_flag = 0;
    std::uint32_t seq_scaling_matrix_present_flag = 0;
    std::uint32_t seq_scaling_list_present_flag[kScalingLists] = {};
    std::uint32_t log2_max_frame_num_minus4 = 0;
    std::uint32_t pic_order_cnt_type = 0;
    std::uint32_t log2_max_pic_order_cnt_lsb_minus4 = 0;
    std::uint32_t delta_pic_order_always_zero_flag = 0;
    std::int32_t offset_for_non_ref_pic = 0;
    std::int32_t offset_for_top_to_bottom_field = 0;
    std::uint32_t num_ref_frames_in_pic_order_cnt_cycle = 0;
    std::int32_t offset_for_ref_frame[kRefFramesInCycle] = {};
    std::uint32_t num_ref_frames = 0;
    std::uint32_t gaps_in_frame_num_value_allowed_flag = 0;
    std::uint32_t pic_width_in_mbs_minus1 = 0;
    std::uint32_t pic_height_in_map_units_minus1 = 0;
    std::uint32_t frame_mbs_only_flag = 0;
    std::uint32_t mb_adaptive_frame_field_flag = 0;
    std::uint32_t direct_8x8_inference_flag = 0;
    std::uint32_t frame_cropping_flag = 0;
    std::uint32_t frame_crop_left_offset = 0;
    std::uint32_t frame_crop_right_offset = 0;
    std::uint32_t frame_crop_top_offset = 0;
    std::uint32_t frame_crop_bottom_offset = 0;
    std::uint32_t vui_parameters_present_flag = 0;
    H264Vui vui;
    H264Hrd hrd;  // the NAL set, overwritten by the VCL set when both are present
};

struct H264Pps {
    static constexpr int kSliceGroups = 8;
    static constexpr int kSliceGroupIds = 256;
    static constexpr int kScalingLists = 12;
    std::uint32_t pic_parameter_set_id = 0;
    std::uint32_t seq_parameter_set_id = 0;
    std::uint32_t entropy_coding_mode_flag = 0;
    std::uint32_t bottom_field_pic_order_in_frame_present_flag = 0;
    std::uint32_t num_slice_groups_minus1 = 0;
    std::uint32_t slice_group_map_type = 0;
    std::uint32_t run_length_minus1[kSliceGroups] = {};
    std::uint32_t top_left[kSliceGroups] = {};
    std::uint32_t bottom_right[kSliceGroups] = {};
    std::uint32_t slice_group_change_direction_flag = 0;
    std::uint32_t slice_group_change_rate_minus1 = 0;
    std::uint32_t pic_size_in_map_units_minus1 = 0;
    std::uint32_t slice_group_id[kSliceGroupIds] = {};
    std::uint32_t num_ref_idx_l0_default_active_minus1 = 0;
    std::uint32_t num_ref_idx_l1_default_active_minus1 = 0;
    std::uint32_t weighted_pred_flag = 0;
    std::uint32_t weighted_bipred_idc = 0;
    std::int32_t pic_init_qp_minus26 = 0;
    std::int32_t pic_init_qs_minus26 = 0;
    std::int32_t chroma_qp_index_offset = 0;
    std::uint32_t deblocking_filter_control_present_flag = 0;
    std::uint32_t constrained_intra_pred_flag = 0;
    std::uint32_t redundant_pic_cnt_present_flag = 0;
    std::uint32_t transform_8x8_mode_flag = 0;
    std::uint32_t pic_scaling_matrix_present_flag = 0;
    std::uint32_t pic_scaling_list_present_flag[kScalingLists] = {};
    std::int32_t second_chroma_qp_index_offset = 0;
};

struct H264Aud {
    std::uint32_t primary_pic_type = 0;
};

struct H264SeiMessage {
    std::uint32_t payloadType = 0;
    std::uint32_t payloadSize = 0;
    std::vector<std::uint8_t> payload;  // the payload bytes present in the unit (at most payloadSize)
};

struct H264Sei {
    std::vector<H264SeiMessage> messages;
    H264SeiMessage current;  // the last message read
};

// One reordering command (the last one read per list).
struct H264Reordering {
    std::uint32_t ref_pic_list_reordering_flag = 0;
    std::uint32_t reordering_of_pic_nums_idc = 0;
    std::uint32_t abs_diff_pic_num_minus1 = 0;
    std::uint32_t long_term_pic_num = 0;
};

struct H264PredWeightList {
    static constexpr int kRefs = 64;
    std::uint32_t luma_weight_flag[kRefs] = {};
    std::int32_t luma_weight[kRefs] = {};
    std::int32_t luma_offset[kRefs] = {};
    std::uint32_t chroma_weight_flag[kRefs] = {};
    std::int32_t chroma_weight[kRefs][2] = {};
    std::int32_t chroma_offset[kRefs][2] = {};
};

struct H264PredWeightTable {
    std::uint32_t luma_log2_weight_denom = 0;
    std::uint32_t chroma_log2_weight_denom = 0;
    H264PredWeightList l0;
    H264PredWeightList l1;
};

// dec_ref_pic_marking, with the last memory-management control operation read.
struct H264DecRefPicMarking {
    std::uint32_t no_output_of_prior_pics_flag = 0;
    std::uint32_t long_term_reference_flag = 0;
    std::uint32_t adaptive_ref_pic_marking_mode_flag = 0;
    std::uint32_t memory_management_control_operation = 0;
    std::uint32_t difference_of_pic_nums_minus1 = 0;
    std::uint32_t long_term_pic_num = 0;
    std::uint32_t long_term_frame_idx = 0;
    std::uint32_t max_long_term_frame_idx_plus1 = 0;
};

struct H264SliceHeader {
    std::uint32_t first_mb_in_slice = 0;
    std::uint32_t slice_type = 0;
    std::uint32_t pic_parameter_set_id = 0;
    std::uint32_t colour_plane_id = 0;
    std::uint32_t frame_num = 0;
    std::uint32_t field_pic_flag = 0;
    std::uint32_t bottom_field_flag = 0;
    std::uint32_t idr_pic_id = 0;
    std::uint32_t pic_order_cnt_lsb = 0;
    std::int32_t delta_pic_order_cnt_bottom = 0;
    std::int32_t delta_pic_order_cnt[2] = {};
    std::uint32_t redundant_pic_cnt = 0;
    std::uint32_t direct_spatial_mv_pred_flag = 0;
    std::uint32_t num_ref_idx_active_override_flag = 0;
    // The picture parameter set's defaults unless overridden.
    std::uint32_t num_ref_idx_l0_active_minus1 = 0;
    std::uint32_t num_ref_idx_l1_active_minus1 = 0;
    std::uint32_t cabac_init_idc = 0;
    std::int32_t slice_qp_delta = 0;
    std::uint32_t sp_for_switch_flag = 0;
    std::int32_t slice_qs_delta = 0;
    std::uint32_t disable_deblocking_filter_idc = 0;
    std::int32_t slice_alpha_c0_offset_div2 = 0;
    std::int32_t slice_beta_offset_div2 = 0;
    std::uint32_t slice_group_change_cycle = 0;
    H264Reordering reordering_l0;
    H264Reordering reordering_l1;
    H264PredWeightTable pwt;
    H264DecRefPicMarking drpm;
};

struct H264ParserState {
    H264NalHeader nal;
    H264Sps sps;
    H264Pps pps;
    H264Aud aud;
    H264Sei sei;
    H264SliceHeader sh;
};
