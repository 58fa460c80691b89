#include "repair/slice_header_check.h"

#include <algorithm>

#include "media/h264_bit_reader.h"
#include "media/h264_nal.h"
#include "media/h264_syntax.h"
#include "media/start_codes.h"
#include "mp4/hevc_config.h"
#include "mp4/nal_header.h"

namespace {

// Slice headers are short: this much of a unit is enough to read one.
constexpr std::int64_t kHeaderBytes = 96;

constexpr std::size_t kAvcSpsIds = 32;
constexpr std::size_t kAvcPpsIds = 256;
constexpr std::size_t kHevcSpsIds = 16;
constexpr std::size_t kHevcPpsIds = 64;

enum AvcSliceType : std::uint32_t { kP = 0, kB = 1, kI = 2, kSp = 3, kSi = 4 };
constexpr std::uint32_t kMaxAvcSliceType = 9;
constexpr std::uint32_t kMaxRefIdx = 31;
constexpr std::uint32_t kMaxIdrPicId = 65535;

// The RBSP bytes after a NAL header of `headerBytes` bytes (emulation prevention removed).
std::vector<std::uint8_t> rbspAfter(const std::uint8_t* unit, std::int64_t size, int headerBytes) {
    const std::int64_t length = std::min(size, kHeaderBytes);
    if (length <= headerBytes) return {};
    // unitPayload leaves out the first byte it is given.
    return unitPayload(unit + headerBytes - 1, std::uint64_t(length - headerBytes + 1));
}

bool allOnesToByteEnd(BitReader& r) {
    while (!r.byteAligned())
        if (r.readBit() != 1) return false;
    return true;
}

}  // namespace

void SliceHeaderCheck::build(const std::string& header, bool hevc) {
    hevc_ = hevc;
    avcSps_.assign(kAvcSpsIds, H264Sps{});
    avcPps_.assign(kAvcPpsIds, H264Pps{});
    avcPpsPresent_.assign(kAvcPpsIds, false);
    hevcSps_.assign(kHevcSpsIds, HevcSps{});
    hevcPps_.assign(kHevcPpsIds, HevcPps{});
    parameterSets_.clear();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(header.data());
    std::vector<NalRange> units;
    splitNalUnits(bytes, header.size(), units);
    for (const NalRange& unit : units) {
        const std::int64_t size = std::int64_t(unit.end - unit.begin);
        parameterSets_.emplace_back(header.substr(unit.begin, std::size_t(size)));
        if (hevc_)
            addHevcUnit(bytes + unit.begin, size);
        else
            addAvcUnit(bytes + unit.begin, size);
    }
    usable_ = hevc_ ? std::any_of(hevcPps_.begin(), hevcPps_.end(), [](const HevcPps& p) { return p.present; })
                    : std::find(avcPpsPresent_.begin(), avcPpsPresent_.end(), true) != avcPpsPresent_.end();
}

bool SliceHeaderCheck::isReferenceParameterSet(const std::uint8_t* unit, std::int64_t size) const {
    for (const std::string& set : parameterSets_)
        if (std::int64_t(set.size()) == size && std::equal(set.begin(), set.end(), unit)) return true;
    return false;
}

void SliceHeaderCheck::addAvcUnit(const std::uint8_t* unit, std::int64_t size) {
    if (size < 2) return;
    const std::vector<std::uint8_t> rbsp = unitPayload(unit, std::uint64_t(size));
    BitReader r(rbsp.data(), rbsp.size());
    const int type = mp4::nalTypeOf(unit[0], false);
    if (type == 7) {
        H264Sps sps;
        readSeqParameterSet(r, sps);
        if (sps.seq_parameter_set_id < kAvcSpsIds && sps.profile_idc != 0) avcSps_[sps.seq_parameter_set_id] = sps;
    } else if (type == 8) {
        // The scaling-list count of the optional tail depends on the SPS; the first one serves.
        H264Pps pps;
        const auto sps = std::find_if(avcSps_.begin(), avcSps_.end(), [](const H264Sps& s) { return s.profile_idc != 0; });
        readPicParameterSet(r, sps == avcSps_.end() ? H264Sps{} : *sps, pps);
        if (pps.pic_parameter_set_id < kAvcPpsIds && pps.seq_parameter_set_id < kAvcSpsIds) {
            avcPps_[pps.pic_parameter_set_id] = pps;
            avcPpsPresent_[pps.pic_parameter_set_id] = true;
        }
    }
}

void SliceHeaderCheck::addHevcUnit(const std::uint8_t* unit, std::int64_t size) {
    if (size < 3) return;
    const int type = mp4::nalTypeOf(unit[0], true);
    if (type == 33) {
        // The largest picture any level allows is 16888 samples on a side.
        constexpr std::uint32_t kMaxSide = 16888;
        mp4::HevcConfig config;
        mp4::HevcPictureLayout layout;
        if (!mp4::readHevcSequenceSet(mp4::ByteSpan{unit, std::size_t(size)}, config, layout) || layout.width == 0 ||
            layout.width > kMaxSide || layout.height > kMaxSide)
            return;
        const std::uint64_t ctb = std::uint64_t(1) << layout.log2CtbSize;
        HevcSps sps;
        sps.ctbsInPicture = std::uint32_t(((layout.width + ctb - 1) / ctb) * ((layout.height + ctb - 1) / ctb));
        sps.maxSubLayers = std::max<std::uint32_t>(config.temporalLayers, 1);
        sps.separateColourPlane = layout.separateColourPlanes;
        sps.log2MaxPocLsb = layout.log2MaxPocLsb;
        sps.present = true;
        if (layout.spsId < kHevcSpsIds) hevcSps_[layout.spsId] = sps;
    } else if (type == 34) {
        const std::vector<std::uint8_t> rbsp = unitPayload(unit + 1, std::uint64_t(size - 1));
        BitReader r(rbsp.data(), rbsp.size());
        HevcPps pps;
        const std::uint32_t id = r.readUe();
        pps.spsId = r.readUe();
        pps.dependentSlices = r.readBit() != 0;
        pps.outputFlag = r.readBit() != 0;
        pps.extraSliceHeaderBits = int(r.readBits(3));
        pps.present = !r.atEnd();
        if (id < kHevcPpsIds && pps.spsId < kHevcSpsIds) hevcPps_[id] = pps;
    }
}

bool SliceHeaderCheck::parses(const std::uint8_t* unit, std::int64_t size, SliceInfo* info) const {
    if (!unit || size < 4 || (unit[0] & 0x80) != 0) return false;
    SliceInfo scratch;
    SliceInfo& out = info ? *info : scratch;
    out = SliceInfo{};
    return hevc_ ? parsesHevc(unit, size, out) : parsesAvc(unit, size, out);
}

bool SliceHeaderCheck::parsesAvc(const std::uint8_t* unit, std::int64_t size, SliceInfo& info) const {
    H264NalHeader nal;
    nal.nal_ref_idc = (unit[0] >> 5) & 3;
    nal.nal_unit_type = std::uint32_t(mp4::nalTypeOf(unit[0], false));
    const bool idr = nal.nal_unit_type == 5;
    if ((nal.nal_unit_type != 1 && !idr) || (idr && nal.nal_ref_idc == 0)) return false;
    const std::vector<std::uint8_t> rbsp = rbspAfter(unit, size, 1);

    // The picture parameter set first: the rest of the header is read with it.
    BitReader peek(rbsp.data(), rbsp.size());
    peek.readUe();
    const std::uint32_t sliceType = peek.readUe();
    const std::uint32_t ppsId = peek.readUe();
    if (peek.atEnd() || sliceType > kMaxAvcSliceType || ppsId >= kAvcPpsIds || !avcPpsPresent_[ppsId]) return false;
    const H264Pps& pps = avcPps_[ppsId];
    const H264Sps& sps = avcSps_[pps.seq_parameter_set_id];
    if (sps.profile_idc == 0) return false;

    BitReader r(rbsp.data(), rbsp.size());
    H264SliceHeader sh;
    readSliceHeader(r, nal, sps, pps, sh);
    if (r.atEnd()) return false;
    const std::uint32_t type = sh.slice_type % 5;
    const std::uint64_t mapUnits = (std::uint64_t(sps.pic_width_in_mbs_minus1) + 1) *
                                   (std::uint64_t(sps.pic_height_in_map_units_minus1) + 1);
    const std::uint64_t macroblocks = mapUnits * (sps.frame_mbs_only_flag ? 1 : 2);
    if (sh.first_mb_in_slice >= macroblocks) return false;
    if (idr && type != kI && type != kSi) return false;
    if (idr && sh.idr_pic_id > kMaxIdrPicId) return false;
    if (sh.num_ref_idx_l0_active_minus1 > kMaxRefIdx || sh.num_ref_idx_l1_active_minus1 > kMaxRefIdx) return false;
    const bool inter = type != kI && type != kSi;
    if (inter && sh.reordering_l0.ref_pic_list_reordering_flag && sh.reordering_l0.reordering_of_pic_nums_idc != 3)
        return false;
    if (type == kB && sh.reordering_l1.ref_pic_list_reordering_flag && sh.reordering_l1.reordering_of_pic_nums_idc != 3)
        return false;
    if (sh.drpm.adaptive_ref_pic_marking_mode_flag && sh.drpm.memory_management_control_operation != 0) return false;
    if (pps.entropy_coding_mode_flag && inter && sh.cabac_init_idc > 2) return false;
    const std::int64_t qp = 26 + std::int64_t(pps.pic_init_qp_minus26) + sh.slice_qp_delta;
    if (qp < -6 * std::int64_t(sps.bit_depth_luma_minus8) || qp > 51) return false;
    if (pps.deblocking_filter_control_present_flag) {
        if (sh.disable_deblocking_filter_idc > 2) return false;
        if (sh.slice_alpha_c0_offset_div2 < -6 || sh.slice_alpha_c0_offset_div2 > 6) return false;
        if (sh.slice_beta_offset_div2 < -6 || sh.slice_beta_offset_div2 > 6) return false;
    }
    // CABAC slice data starts byte-aligned behind one bits.
    if (pps.entropy_coding_mode_flag && !allOnesToByteEnd(r)) return false;
    info.firstInPicture = sh.first_mb_in_slice == 0;
    info.intraRandomAccess = idr;
    info.hasFrameNum = true;
    info.frameNum = sh.frame_num;
    info.frameNumBits = int(sps.log2_max_frame_num_minus4) + 4;
    if (sps.pic_order_cnt_type == 0) {
        info.hasPocLsb = true;
        info.pocLsb = sh.pic_order_cnt_lsb;
        info.pocLsbBits = int(sps.log2_max_pic_order_cnt_lsb_minus4) + 4;
    }
    return true;
}

bool SliceHeaderCheck::parsesHevc(const std::uint8_t* unit, std::int64_t size, SliceInfo& info) const {
    const int type = mp4::nalTypeOf(unit[0], true);
    const int layer = ((unit[0] & 1) << 5) | (unit[1] >> 3);
    const int temporalIdPlus1 = unit[1] & 7;
    // Picture slices: trailing, leading and sub-layer pictures 0 to 9, IRAP pictures 16 to 21.
    const bool irap = type >= 16 && type <= 21;
    if ((type > 9 && !irap) || layer != 0 || temporalIdPlus1 == 0 || (irap && temporalIdPlus1 != 1)) return false;
    const std::vector<std::uint8_t> rbsp = rbspAfter(unit, size, 2);
    BitReader r(rbsp.data(), rbsp.size());
    const bool first = r.readBit() != 0;
    if (irap) r.readBit();  // no_output_of_prior_pics_flag
    const std::uint32_t ppsId = r.readUe();
    if (ppsId >= kHevcPpsIds || !hevcPps_[ppsId].present) return false;
    const HevcPps& pps = hevcPps_[ppsId];
    const HevcSps& sps = hevcSps_[pps.spsId];
    if (!sps.present || std::uint32_t(temporalIdPlus1) > sps.maxSubLayers) return false;
    bool dependent = false;
    if (!first) {
        if (pps.dependentSlices) dependent = r.readBit() != 0;
        const std::uint32_t address = r.readBits(ceilLog2(sps.ctbsInPicture));
        if (address == 0 || address >= sps.ctbsInPicture) return false;
    }
    if (!dependent) {
        r.readBits(pps.extraSliceHeaderBits);
        const std::uint32_t sliceType = r.readUe();  // B, P, I
        if (sliceType > 2 || (irap && sliceType != 2)) return false;
        if (pps.outputFlag) r.readBit();
        if (sps.separateColourPlane) r.readBits(2);
        if (type != 19 && type != 20) {
            info.hasPocLsb = true;
            info.pocLsb = r.readBits(sps.log2MaxPocLsb);
            info.pocLsbBits = sps.log2MaxPocLsb;
            r.readBit();  // short_term_ref_pic_set_sps_flag
        }
    }
    info.firstInPicture = first;
    info.intraRandomAccess = irap;
    return !r.atEnd();
}
