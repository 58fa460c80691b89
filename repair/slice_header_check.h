#pragma once
// The reference's header words are a sample of the words its encoder writes: fields that change
// from picture to picture (frame_num, idr_pic_id, the order count) give each picture other first
// bytes, so a short reference never lists them all. A slice whose word is not listed is still
// the reference's own when its header parses as a slice of the reference's parameter sets: the
// same picture parameter set, a slice type the unit's type allows, every field in its range and,
// for CABAC, the alignment bits set. Built once per run from the engine's video header.
#include <cstdint>
#include <string>
#include <vector>

#include "media/h264_records.h"

// What a parsed slice header tells about where the slice stands in the stream.
struct SliceInfo {
    bool firstInPicture = false;  // first_mb_in_slice 0 / first_slice_segment_in_pic_flag
    bool intraRandomAccess = false;  // an IDR (H.264) or IRAP (H.265) picture
    bool hasFrameNum = false;     // H.264: frame_num and its width
    std::uint32_t frameNum = 0;
    int frameNumBits = 0;
    bool hasPocLsb = false;       // the picture order count's low bits and their width
    std::uint32_t pocLsb = 0;
    int pocLsbBits = 0;
};

class SliceHeaderCheck {
public:
    // `header` holds the reference's parameter sets as an Annex B stream.
    void build(const std::string& header, bool hevc);

    // Whether `unit` (from its NAL header on, `size` bytes readable) is a picture slice of the
    // reference's stream. False for every other unit and for a reference without parameter sets.
    // `info`, when given, receives the header's place in the stream.
    bool parses(const std::uint8_t* unit, std::int64_t size, SliceInfo* info = nullptr) const;
    // Whether the reference gave parameter sets that slices can be parsed against.
    bool usable() const { return usable_; }
    // Whether `unit` (`size` bytes, from its NAL header on) is one of the reference's parameter
    // sets byte for byte.
    bool isReferenceParameterSet(const std::uint8_t* unit, std::int64_t size) const;

    // The H.265 parameter-set fields the first slice-header fields depend on.
    struct HevcSps {
        bool present = false;
        std::uint32_t maxSubLayers = 1;
        bool separateColourPlane = false;
        std::uint32_t ctbsInPicture = 0;
        int log2MaxPocLsb = 4;
    };
    struct HevcPps {
        bool present = false;
        std::uint32_t spsId = 0;
        bool dependentSlices = false;
        bool outputFlag = false;
        int extraSliceHeaderBits = 0;
    };

private:
    bool parsesAvc(const std::uint8_t* unit, std::int64_t size, SliceInfo& info) const;
    bool parsesHevc(const std::uint8_t* unit, std::int64_t size, SliceInfo& info) const;
    void addAvcUnit(const std::uint8_t* unit, std::int64_t size);
    void addHevcUnit(const std::uint8_t* unit, std::int64_t size);

    bool hevc_ = false;
    bool usable_ = false;
    std::vector<std::string> parameterSets_;
    std::vector<H264Sps> avcSps_;  // by id; profile_idc 0 marks an absent one
    std::vector<H264Pps> avcPps_;
    std::vector<bool> avcPpsPresent_;
    std::vector<HevcSps> hevcSps_;
    std::vector<HevcPps> hevcPps_;
};
