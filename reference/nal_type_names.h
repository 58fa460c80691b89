#pragma once
// Names of the NAL unit types, 0..63, with index 64 for an invalid type.
#include <array>

constexpr int kNalTypeNameCount = 65;
using NalTypeNameTable = std::array<const char*, kNalTypeNameCount>;

extern const NalTypeNameTable h264NalTypeNames;
extern const NalTypeNameTable hevcNalTypeNames;

// Lookup by type; a type outside 0..63 is looked up as 64.
const char* h264NalTypeName(int type);
const char* hevcNalTypeName(int type);
