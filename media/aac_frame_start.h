#pragma once
// Whether bytes open like a raw AAC frame (a raw data block without ADTS header) of a channel
// configuration, and the channel configuration an ADTS header names. A real frame opens with the
// configuration's first channel element, numbered 0, after at most a few fill or data stream
// elements (encoders put their signature there); most other bytes do not.
#include <cstddef>
#include <cstdint>

// Channel configuration of the 7-byte ADTS header `bytes` (0 to 7), or -1 when the bytes are no
// ADTS header.
int adtsChannelConfiguration(const std::uint8_t* bytes, std::size_t size);

// Whether `bytes` (`size` of them readable) open like a raw frame of `channelConfiguration` (1 to
// 7). Configuration 0, where a program config element gives the layout, accepts any single
// channel, channel pair or low-frequency element numbered 0 first. Bytes that start an ADTS
// header (sync word 0xFFF) count as a frame too.
bool opensLikeAacFrame(const std::uint8_t* bytes, std::size_t size, int channelConfiguration);
