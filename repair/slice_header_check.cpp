#include "repair/slice_header_check.h"

#include <algorithm>

#include "media/h264_bit_reader.h"
#include "media/h264_nal.h"
#include "media/h264_syntax.h"
#include "media/start_codes.h"
#include "mp4/bit_reader.h"
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

// H.265 units are read with the MP4 layer's reader, as their SPS is.
using HevcBits = mp4::BitReader;

// The first PPS and slice-header codes, read as they always were (these fields decide what
// parses): a prefix of 32 zeros takes the bit behind it as its end, and the value wraps.
std::uint32_t firstFieldUe(HevcBits& r) {
    const std::int64_t value = mp4::readUeGolomb(r);
    if (value >= 0) return std::uint32_t(value);
    r.readBit();
    return 0xFFFFFFFFu + r.readBits(32);
}

// Whether the reader has reached the end of its `size` bytes (or read past it).
bool exhausted(const HevcBits& r, std::size_t size) { return r.overrun() || r.position() >= size * 8; }

// Reads the fields behind the first ones. A code out of its range or cut off by the end of the
// bytes fails the read: what lies behind it is not known.
class FieldReader {
public:
    explicit FieldReader(HevcBits& bits) : bits_(bits) {}

    bool flag() { return bits_.readBit() != 0; }
    std::uint32_t bits(int count) { return bits_.readBits(count); }
    std::uint32_t ue(std::int64_t max) {
        const std::int64_t value = mp4::readUeAtMost(bits_, max);
        if (value < 0) {
            failed_ = true;
            return 0;
        }
        return std::uint32_t(value);
    }
    // A signed code, passed over.
    void se() {
        if (!mp4::skipSeGolomb(bits_)) failed_ = true;
    }
    bool ok() const { return !failed_ && !bits_.overrun(); }

private:
    HevcBits& bits_;
    bool failed_ = false;
};

// Bounds of the syntax: active references per list (minus 1), long-term pictures of a slice,
// the weight denominator, merge candidates (as five minus the count), offset widths (minus 1),
// extension bytes.
constexpr std::uint32_t kMaxHevcRefIdx = 14;
constexpr std::uint32_t kMaxLongTermPictures = 32;
constexpr std::uint32_t kMaxWeightDenominator = 7;
constexpr std::uint32_t kMaxMergeReduction = 4;
constexpr std::uint32_t kMaxOffsetBitsMinus1 = 31;
constexpr std::uint32_t kMaxHeaderExtension = 256;
// The PPS's merge level (minus 2, at most the largest CTB's), its chroma QP offset lists, and
// its tile counts, bounded for the read.
constexpr std::uint32_t kMaxParallelMergeMinus2 = 4;
constexpr std::uint32_t kMaxChromaQpOffsetList = 5;
constexpr std::uint32_t kMaxTileSpans = 1024;

enum HevcSliceType : std::uint32_t { kHevcB = 0, kHevcP = 1, kHevcI = 2 };

// pred_weight_table, passed over: a flag per reference (the chroma flags behind the luma
// ones), then the weights and offsets the flags announce.
void skipWeights(FieldReader& f, bool chroma, std::uint32_t lastL0, bool bipredictive, std::uint32_t lastL1) {
    f.ue(kMaxWeightDenominator);
    if (chroma) f.se();
    for (int list = 0; list < (bipredictive ? 2 : 1); ++list) {
        const std::uint32_t count = (list == 0 ? lastL0 : lastL1) + 1;
        bool luma[kMaxHevcRefIdx + 1] = {}, colour[kMaxHevcRefIdx + 1] = {};
        for (std::uint32_t i = 0; i < count; ++i) luma[i] = f.flag();
        if (chroma)
            for (std::uint32_t i = 0; i < count; ++i) colour[i] = f.flag();
        for (std::uint32_t i = 0; i < count; ++i) {
            if (luma[i]) {
                f.se();
                f.se();
            }
            if (colour[i])
                for (int k = 0; k < 4; ++k) f.se();
        }
    }
}

// The pictures a slice may predict from: its short-term reference set (its own or one of the
// SPS's), the long-term pictures, and slice_temporal_mvp_enabled_flag. False when they do not
// read.
bool readReferencePictures(HevcBits& r, FieldReader& f, const mp4::HevcPictureLayout& layout, bool setFromSps,
                           int& currentPictures, bool& temporalMvp) {
    mp4::HevcRefPicSet own;
    const mp4::HevcRefPicSet* set = &own;
    if (!setFromSps) {
        if (!mp4::readHevcRefPicSet(r, layout.refPicSets, true, own)) return false;
    } else {
        const std::size_t sets = layout.refPicSets.size();
        const std::uint32_t index = sets > 1 ? f.bits(ceilLog2(sets)) : 0;
        if (index >= sets) return false;
        set = &layout.refPicSets[index];
    }
    currentPictures = set->usedByCurrent();
    if (layout.longTermRefs) {
        const std::size_t listed = layout.longTermUsed.size();
        const std::uint32_t fromSps = listed > 0 ? f.ue(listed) : 0;
        const std::uint32_t inHeader = f.ue(kMaxLongTermPictures);
        if (!f.ok()) return false;
        for (std::uint32_t i = 0; i < fromSps + inHeader; ++i) {
            if (i < fromSps) {
                const std::uint32_t index = listed > 1 ? f.bits(ceilLog2(listed)) : 0;
                if (index >= listed) return false;
                currentPictures += layout.longTermUsed[index];
            } else {
                f.bits(layout.log2MaxPocLsb);
                currentPictures += f.flag();
            }
            if (f.flag()) f.ue(UINT32_MAX);  // delta_poc_msb_cycle_lt
        }
    }
    if (layout.temporalMvp) temporalMvp = f.flag();
    return true;
}

// The fields of a P or B slice: active references, list modification, the collocated picture,
// the weights and the merge candidates. False when the reference counts do not read.
bool readInterFields(FieldReader& f, const SliceHeaderCheck::HevcPps& pps, std::uint32_t sliceType, bool chroma,
                     int currentPictures, bool temporalMvp) {
    const bool bipredictive = sliceType == kHevcB;
    std::uint32_t lastL0 = pps.refIdxL0Default;
    std::uint32_t lastL1 = pps.refIdxL1Default;
    if (f.flag()) {
        lastL0 = f.ue(kMaxHevcRefIdx);
        if (bipredictive) lastL1 = f.ue(kMaxHevcRefIdx);
    }
    if (!f.ok()) return false;
    if (pps.listsModification && currentPictures > 1) {
        const int width = ceilLog2(std::uint64_t(currentPictures));
        if (f.flag())
            for (std::uint32_t i = 0; i <= lastL0; ++i) f.bits(width);
        if (bipredictive && f.flag())
            for (std::uint32_t i = 0; i <= lastL1; ++i) f.bits(width);
    }
    if (bipredictive) f.flag();  // mvd_l1_zero_flag
    if (pps.cabacInitPresent) f.flag();
    if (temporalMvp) {
        const bool fromL0 = !bipredictive || f.flag();
        const std::uint32_t last = fromL0 ? lastL0 : lastL1;
        if (last > 0) f.ue(last);  // collocated_ref_idx
    }
    if ((pps.weightedPred && !bipredictive) || (pps.weightedBipred && bipredictive))
        skipWeights(f, chroma, lastL0, bipredictive, lastL1);
    f.ue(kMaxMergeReduction);
    return true;
}

// The QP and loop filter fields; `sao` when the slice has sample adaptive offset on.
void readQpAndFilters(FieldReader& f, const SliceHeaderCheck::HevcPps& pps, bool sao) {
    f.se();  // slice_qp_delta
    if (pps.sliceChromaQpOffsets) {
        f.se();
        f.se();
    }
    if (pps.chromaQpOffsetList) f.flag();
    bool deblockingDisabled = pps.deblockingDisabled;
    if (pps.deblockingOverride && f.flag()) {
        deblockingDisabled = f.flag();
        if (!deblockingDisabled) {
            f.se();
            f.se();
        }
    }
    if (pps.loopFilterAcrossSlices && (sao || !deblockingDisabled)) f.flag();
}

// What lies behind the entry point count, as a check of the read where the bytes hold it: the
// offsets, the extension and the alignment bits. Their break means the read went wrong, and
// the count is not known after all.
void checkHeaderEnd(HevcBits& r, FieldReader& f, const SliceHeaderCheck::HevcPps& pps, std::uint32_t entryPoints,
                    SliceInfo& info) {
    if (entryPoints > 0) {
        const std::uint32_t widthMinus1 = f.ue(kMaxOffsetBitsMinus1);
        if (r.overrun()) return;
        if (!f.ok()) {
            info.entryPointsKnown = false;
            return;
        }
        r.skipBits(std::size_t(widthMinus1 + 1) * entryPoints);
    }
    if (pps.headerExtension) {
        const std::uint32_t length = f.ue(kMaxHeaderExtension);
        if (r.overrun()) return;
        if (!f.ok()) {
            info.entryPointsKnown = false;
            return;
        }
        r.skipBits(std::size_t(length) * 8);
    }
    // byte_alignment(): a one bit, then zero bits to the byte's end.
    bool aligned = r.readBit() == 1;
    while (aligned && r.position() % 8 != 0) aligned = r.readBit() == 0;
    if (!aligned && !r.overrun()) info.entryPointsKnown = false;
}

// What the slice segment header says behind its first fields. `dependent`, `sliceType` and
// `setFromSps` (short_term_ref_pic_set_sps_flag) as those fields gave them. Reads up to the
// entry point count, which is known when every field before it was in range and in the bytes;
// then checks what lies behind it as far as the bytes reach.
void readEntryPoints(HevcBits& r, int nalType, const SliceHeaderCheck::HevcSps& sps,
                     const SliceHeaderCheck::HevcPps& pps, bool dependent, std::uint32_t sliceType, bool setFromSps,
                     SliceInfo& info) {
    const mp4::HevcPictureLayout& layout = sps.layout;
    if (!layout.sliceFieldsKnown || !pps.sliceFieldsKnown) return;
    FieldReader f(r);
    const bool idr = nalType == 19 || nalType == 20;
    if (!dependent) {
        int currentPictures = 0;  // the pictures the current one may predict from
        bool temporalMvp = false;
        if (!idr && !readReferencePictures(r, f, layout, setFromSps, currentPictures, temporalMvp)) return;
        const bool chroma = layout.chromaArrayType != 0;
        bool sao = false;
        if (layout.sampleAdaptiveOffset) {
            const bool luma = f.flag();
            const bool colour = chroma && f.flag();
            sao = luma || colour;
        }
        if (sliceType != kHevcI && !readInterFields(f, pps, sliceType, chroma, currentPictures, temporalMvp)) return;
        readQpAndFilters(f, pps, sao);
    }
    std::uint32_t entryPoints = 0;
    if (pps.tiles || pps.entropySync) entryPoints = f.ue(UINT32_MAX);
    if (!f.ok()) return;
    info.entryPointsKnown = true;
    info.entryPoints = entryPoints;
    checkHeaderEnd(r, f, pps, entryPoints, info);
}

// The PPS behind its first fields, to its trailing bits; false when it does not read so.
bool readPpsRest(HevcBits& r, std::size_t size, SliceHeaderCheck::HevcPps& pps) {
    FieldReader f(r);
    f.flag();  // sign_data_hiding_enabled_flag
    pps.cabacInitPresent = f.flag();
    pps.refIdxL0Default = f.ue(kMaxHevcRefIdx);
    pps.refIdxL1Default = f.ue(kMaxHevcRefIdx);
    f.se();    // init_qp_minus26
    f.flag();  // constrained_intra_pred_flag
    const bool transformSkip = f.flag();
    pps.cuQpDelta = f.flag();
    if (pps.cuQpDelta) f.ue(UINT32_MAX);  // its depth
    f.se();
    f.se();  // chroma QP offsets
    pps.sliceChromaQpOffsets = f.flag();
    pps.weightedPred = f.flag();
    pps.weightedBipred = f.flag();
    f.flag();  // transquant_bypass_enabled_flag
    pps.tiles = f.flag();
    pps.entropySync = f.flag();
    if (pps.tiles) {
        const std::uint32_t columnsMinus1 = f.ue(kMaxTileSpans);
        const std::uint32_t rowsMinus1 = f.ue(kMaxTileSpans);
        if (!f.flag()) {  // not uniformly spaced: each width and height but the last
            for (std::uint32_t i = 0; i < columnsMinus1 + rowsMinus1 && f.ok(); ++i) f.ue(UINT32_MAX);
        }
        f.flag();  // loop_filter_across_tiles_enabled_flag
    }
    pps.loopFilterAcrossSlices = f.flag();
    if (f.flag()) {  // deblocking control
        pps.deblockingOverride = f.flag();
        pps.deblockingDisabled = f.flag();
        if (!pps.deblockingDisabled) {
            f.se();
            f.se();
        }
    }
    if (f.flag() && !mp4::skipHevcScalingLists(r)) return false;
    pps.listsModification = f.flag();
    pps.log2ParallelMergeLevel = int(f.ue(kMaxParallelMergeMinus2)) + 2;
    pps.headerExtension = f.flag();
    if (f.flag()) {  // extensions
        const bool range = f.flag();
        const bool multilayer = f.flag();
        const bool threeD = f.flag();
        const bool screenContent = f.flag();
        const std::uint32_t further = f.bits(4);
        // The screen-content extension adds slice-header fields, the others data this reader
        // does not follow to the end.
        if (multilayer || threeD || screenContent || further != 0) return false;
        if (range) {
            if (transformSkip) f.ue(UINT32_MAX);  // largest transform-skip block
            f.flag();                             // cross_component_prediction_enabled_flag
            pps.chromaQpOffsetList = f.flag();
            if (pps.chromaQpOffsetList) {
                f.ue(UINT32_MAX);  // its depth
                const std::uint32_t lengthMinus1 = f.ue(kMaxChromaQpOffsetList);
                for (std::uint32_t i = 0; i <= lengthMinus1 && f.ok(); ++i) {
                    f.se();
                    f.se();
                }
            }
            f.ue(UINT32_MAX);
            f.ue(UINT32_MAX);  // SAO offset scales
        }
    }
    return f.ok() && mp4::endsWithTrailingBits(r, size);
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
        HevcSps sps;
        mp4::HevcPictureLayout& layout = sps.layout;
        if (!mp4::readHevcSequenceSet(mp4::ByteSpan{unit, std::size_t(size)}, config, layout) || layout.width == 0 ||
            layout.width > kMaxSide || layout.height > kMaxSide)
            return;
        const std::uint32_t ctb = std::uint32_t(1) << layout.log2CtbSize;
        sps.ctbsWide = (layout.width + ctb - 1) / ctb;
        sps.ctbsHigh = (layout.height + ctb - 1) / ctb;
        sps.ctbsInPicture = sps.ctbsWide * sps.ctbsHigh;
        sps.maxSubLayers = std::max<std::uint32_t>(config.temporalLayers, 1);
        sps.present = true;
        if (layout.spsId < kHevcSpsIds) hevcSps_[layout.spsId] = std::move(sps);
    } else if (type == 34) {
        const std::vector<std::uint8_t> rbsp = unitPayload(unit + 1, std::uint64_t(size - 1));
        HevcBits r(rbsp.data(), rbsp.size());
        HevcPps pps;
        const std::uint32_t id = firstFieldUe(r);
        pps.spsId = firstFieldUe(r);
        pps.dependentSlices = r.readBit() != 0;
        pps.outputFlag = r.readBit() != 0;
        pps.extraSliceHeaderBits = int(r.readBits(3));
        pps.present = !exhausted(r, rbsp.size());
        if (pps.present) pps.sliceFieldsKnown = readPpsRest(r, rbsp.size(), pps);
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
    HevcBits r(rbsp.data(), rbsp.size());
    const bool first = r.readBit() != 0;
    if (irap) r.readBit();  // no_output_of_prior_pics_flag
    const std::uint32_t ppsId = firstFieldUe(r);
    if (ppsId >= kHevcPpsIds || !hevcPps_[ppsId].present) return false;
    const HevcPps& pps = hevcPps_[ppsId];
    const HevcSps& sps = hevcSps_[pps.spsId];
    if (!sps.present || std::uint32_t(temporalIdPlus1) > sps.maxSubLayers) return false;
    bool dependent = false;
    std::uint32_t address = 0;
    if (!first) {
        if (pps.dependentSlices) dependent = r.readBit() != 0;
        address = r.readBits(ceilLog2(sps.ctbsInPicture));
        if (address == 0 || address >= sps.ctbsInPicture) return false;
    }
    std::uint32_t sliceType = kHevcI;
    bool setFromSps = false;
    if (!dependent) {
        r.readBits(pps.extraSliceHeaderBits);
        sliceType = firstFieldUe(r);
        if (sliceType > 2 || (irap && sliceType != 2)) return false;
        if (pps.outputFlag) r.readBit();
        if (sps.layout.separateColourPlanes) r.readBits(2);
        if (type != 19 && type != 20) {
            info.hasPocLsb = true;
            info.pocLsb = r.readBits(sps.layout.log2MaxPocLsb);
            info.pocLsbBits = sps.layout.log2MaxPocLsb;
            setFromSps = r.readBit() != 0;
        }
    }
    info.firstInPicture = first;
    info.intraRandomAccess = irap;
    // Whether the slice parses is decided by these fields; the rest tells where it stands.
    if (exhausted(r, rbsp.size())) return false;
    info.segmentAddress = address;
    info.rowEntryPoints = pps.entropySync && !pps.tiles;
    info.ctbsWide = sps.ctbsWide;
    info.ctbsHigh = sps.ctbsHigh;
    readEntryPoints(r, type, sps, pps, dependent, sliceType, setFromSps, info);
    return true;
}
