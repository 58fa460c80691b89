#pragma once
// The decoder configuration record (avcC, hvcC) of the engine's stream, from the Annex B
// parameter sets of its first access unit.
#include <cstdint>
#include <vector>

#include "jobs/access_units.h"

// False when the codec has no record here or the parameter sets do not make one.
bool decoderConfigOf(StreamCodec codec, const std::vector<std::uint8_t>& annexBParameterSets,
                     std::vector<std::uint8_t>& record);
