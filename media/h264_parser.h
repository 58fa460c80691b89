#pragma once
// The forgiving H.264 parser as the header finder drives it: a parser state into which the first
// NAL unit of a buffer is parsed. It never fails; callers judge a candidate by getNalUnitType.
// Each user keeps a parser of its own, so that parses on different threads never meet.
#include <cstdint>

#include "media/h264_records.h"

// Parses the unit behind the first four-byte start code 00 00 00 01 of the buffer, running to the
// buffer's end, into `state`; without such a start code (or for length < 1) nothing happens.
void parseFirstNalUnit(const std::uint8_t* buffer, int length, H264ParserState& state);

class H264Parser {
public:
    // Makes a fresh parser state the current one.
    void initH264Parser() { state_ = H264ParserState{}; }
    // Parses into the current state, as the free function does.
    void parseFirstNalUnit(const std::uint8_t* buffer, int length) { ::parseFirstNalUnit(buffer, length, state_); }

    std::uint32_t getNalUnitType() const { return state_.nal.nal_unit_type; }
    int getPictureWidth() const;
    int getPictureHeight() const;

    // The current state, for reading its records.
    const H264ParserState& state() const { return state_; }

private:
    H264ParserState state_;
};
