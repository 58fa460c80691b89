#pragma once
// Whether bytes open like a raw AAC frame (a raw data block without ADTS header) of a stream's
// layout. A real frame opens with the layout's first channel element, with its tag, after at most
// a few fill or data stream elements (encoders put their signature there); most other bytes do
// not, and a decoder takes a fair share of random bytes for a frame.
#include <cstddef>
#include <cstdint>

#include "mp4/program_config.h"

bool opensWithChannelElement(const std::uint8_t* data, std::size_t available, const mp4::ChannelElement& first);
