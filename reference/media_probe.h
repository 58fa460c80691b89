#pragma once
// Stream parameters of the reference video through the FFmpeg libraries: decoder names,
// picture size and frame rate, audio format and the byte order of signed PCM.
#include <string>

#include "reference/records.h"

// Fills `info` from the streams of the file at `path` (a later stream of a kind overwrites an
// earlier one). Returns false after printing "avformat_open_input failed" or
// "avformat_find_stream_info failed" on standard output, leaving `info` unchanged.
bool probeMediaInfo(const std::string& path, MediaInfo& info);

// One video stream's frame rate into `info`: its real base rate when that has a positive
// denominator, then the library's guess while fpsNum is still 0 (so a later stream whose
// real base rate is unknown keeps an earlier stream's rate).
void takeVideoFrameRate(int realNum, int realDen, int guessNum, int guessDen, MediaInfo& info);
