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
#include "mp4/hevc_config.h"

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

    // H.265: the CTB the slice segment starts at (0 for a picture's first) and, when the whole
    // header could be read with certainty against the parameter sets, its entry points.
    std::uint32_t segmentAddress = 0;
    bool entryPointsKnown = false;
    std::uint32_t entryPoints = 0;
    // Whether the segment's entry points are its CTB rows (wavefronts without tiles), and the
    // picture's size in CTBs by the SPS the header was read against.
    bool rowEntryPoints = false;
    std::uint32_t ctbsWide = 0;
    std::uint32_t ctbsHigh = 0;
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

    // The H.265 parameter-set fields slice headers are read with. A header is judged by its
    // first fields alone; the rest, to its entry points, is read only against an SPS and a PPS
    // that were read to their ends (`sliceFieldsKnown`).
    struct HevcSps {
        bool present = false;
        std::uint32_t maxSubLayers = 1;
        std::uint32_t ctbsWide = 0;
        std::uint32_t ctbsHigh = 0;
        std::uint32_t ctbsInPicture = 0;
        mp4::HevcPictureLayout layout;
    };
    struct HevcPps {
        bool present = false;
        std::uint32_t spsId = 0;
        bool dependentSlices = false;
        bool outputFlag = false;
        int extraSliceHeaderBits = 0;

        bool sliceFieldsKnown = false;
        bool cabacInitPresent = false;
        std::uint32_t refIdxL0Default = 0;  // active references minus 1
        std::uint32_t refIdxL1Default = 0;
        bool cuQpDelta = false;
        bool sliceChromaQpOffsets = false;
        bool weightedPred = false;
        bool weightedBipred = false;
        bool tiles = false;
        bool entropySync = false;  // wavefronts
        bool loopFilterAcrossSlices = false;
        bool deblockingOverride = false;
        bool deblockingDisabled = false;
        bool listsModification = false;
        int log2ParallelMergeLevel = 2;
        bool headerExtension = false;
        bool chromaQpOffsetList = false;
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
