#pragma once
// One H.264 NAL unit into a parser state: header, emulation-prevention removal, then the reader
// of its kind. Each unit overwrites only its own kind's record.
#include <cstdint>
#include <vector>

#include "media/h264_records.h"

// The RBSP bytes behind the header byte: 00 00 03 becomes 00 00, and 00 00 01 ends the unit.
std::vector<std::uint8_t> unitPayload(const std::uint8_t* unit, std::uint64_t size);

void readNalUnit(const std::uint8_t* unit, std::uint64_t size, H264ParserState& state);

// Picture size of a sequence parameter set: macroblocks times 16 less the cropping, with the
// standard's crop units (2 for 4:2:0, 1 horizontally for 4:4:4 and so on; doubled vertically
// for field coding).
int pictureWidth(const H264Sps& sps);
int pictureHeight(const H264Sps& sps);
