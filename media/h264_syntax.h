#pragma once
// Readers of the H.264 syntax structures (clause 7.3, Annex E). Each fills a fresh record from
// the RBSP bytes behind the NAL header; data that ends early reads as zero bits. Loops over
// counts from the stream stop at the end of the data and store only the entries that fit.
#include <cstdint>

#include "media/h264_bit_reader.h"
#include "media/h264_records.h"

void readSeqParameterSet(BitReader& r, H264Sps& sps);
// Uses the current sequence parameter set for the scaling-list count of the optional tail.
void readPicParameterSet(BitReader& r, const H264Sps& sps, H264Pps& pps);
void readSliceHeader(BitReader& r, const H264NalHeader& nal, const H264Sps& sps, const H264Pps& pps,
                     H264SliceHeader& sh);
void readAccessUnitDelimiter(BitReader& r, H264Aud& aud);
void readSei(BitReader& r, H264Sei& sei);

// scaling_list(): read to advance the reader, its values are not kept.
void skipScalingList(BitReader& r, int size);

// Ceil(Log2(n)) for n >= 1, at most 32: the width of fields sized by a count.
int ceilLog2(std::uint64_t n);

// Stores `value` at `index` when the table has room; counts beyond a table are only read.
template <typename T, std::size_t N, typename V>
void storeEntry(T (&table)[N], std::uint64_t index, V value) {
    if (index < N) table[index] = static_cast<T>(value);
}
