#pragma once
// QuickTime IMA ADPCM ('ima4'): each channel's 64 samples lie in a block of 34 bytes (the
// predictor and step index in two bytes, then 32 bytes of 4-bit codes), and one packet holds a
// block of every channel, so a run of sound is whole packets.
#include <cstdint>

constexpr int kQtImaBlockBytes = 34;
constexpr int kQtImaBlockSamples = 64;
constexpr int kQtImaLargestStepIndex = 88;

// Bytes of one packet of `channels` channels; 0 for a channel count no audio format has.
std::int64_t qtImaPacketBytes(int channels);

// Whether every block of the `length` bytes at `run` (whole packets of `channels` channels)
// opens with a step index the format has (0 to 88): the decoder refuses any other, and bytes that
// are not sound seldom hold a run of such blocks.
bool qtImaStepIndicesValid(const std::uint8_t* run, std::int64_t length, int channels);

// Bytes of the reference's first chunk, from its constant sample size and samples per chunk:
// writers that count packets state the packet's size (or a multiple of it), QuickTime itself
// counts sample frames of size 1. 0 when the tables do not say.
std::int64_t qtImaChunkBytes(std::int64_t sampleSize, std::int64_t samplesPerChunk, int channels);
