#pragma once
// The AVC decoder configuration record of an 'avcC' box, read and written.
#include <cstdint>
#include <string>
#include <vector>

#include "mp4/byte_reader.h"

namespace mp4 {

struct AvcConfig {
    std::uint8_t profile = 0;
    std::uint8_t compatibility = 0;
    std::uint8_t level = 0;
    std::uint8_t nalLengthSize = 0;
    std::vector<ByteSpan> sequenceParameterSets;
    std::vector<ByteSpan> pictureParameterSets;
    // The picture format behind the parameter sets, which a record of a profile beyond Main and
    // Extended carries (older writers leave it out: then false and 4:2:0 at 8 bits).
    bool hasFormat = false;
    std::uint8_t chromaFormat = 1;
    std::uint8_t bitDepthLuma = 8;
    std::uint8_t bitDepthChroma = 8;
};

// Profiles whose record has no picture format: Baseline, Main and Extended.
bool avcProfileWithoutFormat(std::uint8_t profile);

// False when the record is shorter than its counts say.
bool parseAvcConfig(ByteSpan payload, AvcConfig& out);

// The record of an H.264 stream's parameter sets (NAL units from their header byte on, without
// start codes, in stream order: SPS, PPS and SPS extensions), with four-byte lengths; profile
// and level from the first SPS, and for profiles that carry it the picture format read from that
// SPS. False when an SPS or PPS is missing, a unit is of another type or longer than 65535
// bytes, there are more units of a kind than the record counts, or the first SPS cannot be read.
bool writeAvcConfig(const std::vector<ByteSpan>& parameterSets, std::vector<std::uint8_t>& record);

// "avc1.PPCCLL": the entry's format and profile, compatibility and level in hexadecimal.
std::string avcCodecString(std::uint32_t format, const AvcConfig& config);

}  // namespace mp4
