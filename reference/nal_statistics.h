#pragma once
// Per-type NAL unit statistics of a reference video: the size range and the distinct header
// words of every NAL unit type, learnt from length-prefixed (MP4 format) samples.
#include <cstddef>
#include <cstdint>

#include "reference/records.h"

// Walk one sample of an AVC / HEVC track whose NAL length prefix is `nalLengthSize` bytes
// (1, 2 or 4; any other size walks nothing). Each unit updates result.nalStats[type] and adds
// an entry to track.nalList. Bytes the header word or slice header would take from beyond the
// sample read as 0.
void walkAvcNalUnits(const std::uint8_t* data, std::size_t size, unsigned nalLengthSize, TrackRecord& track,
                     AnalysisResult& result);
void walkHevcNalUnits(const std::uint8_t* data, std::size_t size, unsigned nalLengthSize, TrackRecord& track,
                      AnalysisResult& result);
