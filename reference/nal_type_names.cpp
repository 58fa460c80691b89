#include "reference/nal_type_names.h"

const NalTypeNameTable h264NalTypeNames = {
    "Unspecified",  // 0
    "P Frame",  // 1
    "data partition A",  // 2
    "data partition B",  // 3
    "data partition C",  // 4
    "IDR picture",  // 5
    "SEI",  // 6
    "Sequence parameter set",  // 7
    "Picture parameter set",  // 8
    "Access Unit Delimiter",  // 9
    "End of sequence",  // 10
    "End of stream",  // 11
    "Filler data",  // 12
    "Sequence parameter set extension",  // 13
    "Prefix NAL unit",  // 14
    "Subset sequence parameter set",  // 15
    "Reserved",  // 16
    "Reserved",  // 17
    "Reserved",  // 18
    "Coded slice of an auxiliary coded picture without partitioning",  // 19
    "Coded slice extension",  // 20
    "Coded slice extension for depth view components",  // 21
    "Reserved",  // 22
    "Reserved",  // 23
    "Unspecified",  // 24
    "Unspecified",  // 25
    "Unspecified",  // 26
    "Unspecified",  // 27
    "Unspecified",  // 28
    "Unspecified",  // 29
    "Unspecified",  // 30
    "Unspecified",  // 31
    "Unspecified",  // 32
    "Invalid",  // 33
    "Invalid",  // 34
    "Invalid",  // 35
    "Invalid",  // 36
    "Invalid",  // 37
    "Invalid",  // 38
    "Invalid",  // 39
    "Invalid",  // 40
    "Invalid",  // 41
    "Invalid",  // 42
    "Invalid",  // 43
    "Invalid",  // 44
    "Invalid",  // 45
    "Invalid",  // 46
    "Invalid",  // 47
    "Invalid",  // 48
    "Invalid",  // 49
    "Invalid",  // 50
    "Invalid",  // 51
    "Invalid",  // 52
    "Invalid",  // 53
    "Invalid",  // 54
    "Invalid",  // 55
    "Invalid",  // 56
    "Invalid",  // 57
    "Invalid",  // 58
    "Invalid",  // 59
    "Invalid",  // 60
    "Invalid",  // 61
    "Invalid",  // 62
    "Invalid",  // 63
    "Invalid",  // 64
};

const NalTypeNameTable hevcNalTypeNames = {
    "NAL_UNIT_CODED_SLICE_TRAIL_N",  // 0
    "NAL_UNIT_CODED_SLICE_TRAIL_R",  // 1
    "NAL_UNIT_CODED_SLICE_TSA_N",  // 2
    "NAL_UNIT_CODED_SLICE_TSA_R",  // 3
    "NAL_UNIT_CODED_SLICE_STSA_N",  // 4
    "NAL_UNIT_CODED_SLICE_STSA_R",  // 5
    "NAL_UNIT_CODED_SLICE_RADL_N",  // 6
    "NAL_UNIT_CODED_SLICE_RADL_R",  // 7
    "NAL_UNIT_CODED_SLICE_RASL_N",  // 8
    "NAL_UNIT_CODED_SLICE_RASL_R",  // 9
    "NAL_UNIT_RESERVED_VCL_N10",  // 10
    "NAL_UNIT_RESERVED_VCL_R11",  // 11
    "NAL_UNIT_RESERVED_VCL_N12",  // 12
    "NAL_UNIT_RESERVED_VCL_R13",  // 13
    "NAL_UNIT_RESERVED_VCL_N14",  // 14
    "NAL_UNIT_RESERVED_VCL_R15",  // 15
    "NAL_UNIT_CODED_SLICE_BLA_W_LP",  // 16
    "NAL_UNIT_CODED_SLICE_BLA_W_RADL",  // 17
    "NAL_UNIT_CODED_SLICE_BLA_N_LP",  // 18
    "NAL_UNIT_CODED_SLICE_IDR_W_RADL",  // 19
    "NAL_UNIT_CODED_SLICE_IDR_N_LP",  // 20
    "NAL_UNIT_CODED_SLICE_CRA",  // 21
    "NAL_UNIT_RESERVED_IRAP_VCL22",  // 22
    "NAL_UNIT_RESERVED_IRAP_VCL23",  // 23
    "NAL_UNIT_RESERVED_VCL24",  // 24
    "NAL_UNIT_RESERVED_VCL25",  // 25
    "NAL_UNIT_RESERVED_VCL26",  // 26
    "NAL_UNIT_RESERVED_VCL27",  // 27
    "NAL_UNIT_RESERVED_VCL28",  // 28
    "NAL_UNIT_RESERVED_VCL29",  // 29
    "NAL_UNIT_RESERVED_VCL30",  // 30
    "NAL_UNIT_RESERVED_VCL31",  // 31
    "NAL_UNIT_VPS",  // 32
    "NAL_UNIT_SPS",  // 33
    "NAL_UNIT_PPS",  // 34
    "NAL_UNIT_ACCESS_UNIT_DELIMITER",  // 35
    "NAL_UNIT_EOS",  // 36
    "NAL_UNIT_EOB",  // 37
    "NAL_UNIT_FILLER_DATA",  // 38
    "NAL_UNIT_PREFIX_SEI",  // 39
    "NAL_UNIT_SUFFIX_SEI",  // 40
    "NAL_UNIT_RESERVED_NVCL41",  // 41
    "NAL_UNIT_RESERVED_NVCL42",  // 42
    "NAL_UNIT_RESERVED_NVCL43",  // 43
    "NAL_UNIT_RESERVED_NVCL44",  // 44
    "NAL_UNIT_RESERVED_NVCL45",  // 45
    "NAL_UNIT_RESERVED_NVCL46",  // 46
    "NAL_UNIT_RESERVED_NVCL47",  // 47
    "NAL_UNIT_UNSPECIFIED_48",  // 48
    "NAL_UNIT_UNSPECIFIED_49",  // 49
    "NAL_UNIT_UNSPECIFIED_50",  // 50
    "NAL_UNIT_UNSPECIFIED_51",  // 51
    "NAL_UNIT_UNSPECIFIED_52",  // 52
    "NAL_UNIT_UNSPECIFIED_53",  // 53
    "NAL_UNIT_UNSPECIFIED_54",  // 54
    "NAL_UNIT_UNSPECIFIED_55",  // 55
    "NAL_UNIT_UNSPECIFIED_56",  // 56
    "NAL_UNIT_UNSPECIFIED_57",  // 57
    "NAL_UNIT_UNSPECIFIED_58",  // 58
    "NAL_UNIT_UNSPECIFIED_59",  // 59
    "NAL_UNIT_UNSPECIFIED_60",  // 60
    "NAL_UNIT_UNSPECIFIED_61",  // 61
    "NAL_UNIT_UNSPECIFIED_62",  // 62
    "NAL_UNIT_UNSPECIFIED_63",  // 63
    "NAL_UNIT_INVALID",  // 64
};

namespace {

const char* lookup(const NalTypeNameTable& table, int type) {
    return table[(type >= 0 && type < kNalTypeNameCount - 1) ? type : kNalTypeNameCount - 1];
}

}  // namespace

const char* h264NalTypeName(int type) { return lookup(h264NalTypeNames, type); }
const char* hevcNalTypeName(int type) { return lookup(hevcNalTypeNames, type); }
