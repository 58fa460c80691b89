#pragma once
// The forgiving H.264 parser as the header finder drives it: one current parser state for the
// process, into which the first NAL unit of a buffer is parsed. It never fails; callers judge a
// candidate by getNalUnitType.
//
// The state is shared, so a user holds h264ParserLock() from initH264Parser until it has read
// the results it needs; the operations themselves do not lock.
#include <cstdint>
#include <mutex>

#include "media/h264_records.h"

// Makes a fresh parser state the current one.
void initH264Parser();

// Parses the unit behind the first four-byte start code 00 00 00 01 of the buffer, running to the
// buffer's end, into `state`; without such a start code (or for length < 1) nothing happens.
void parseFirstNalUnit(const std::uint8_t* buffer, int length, H264ParserState& state);
// The same into the current state.
void parseFirstNalUnit(const std::uint8_t* buffer, int length);

std::uint32_t getNalUnitType();
int getPictureWidth();
int getPictureHeight();

// The current state, for reading its records.
const H264ParserState& currentH264ParserState();

// The lock that serialises users of the current state.
std::unique_lock<std::mutex> h264ParserLock();
