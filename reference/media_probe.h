#pragma once
// Stream parameters of the reference video through the FFmpeg libraries: decoder names,
// picture size and frame rate, audio format and the byte order of signed PCM.
#include <string>

#include "reference/records.h"

// Fills `info` from the streams of the file at `path` (a later stream of a kind overwrites an
// earlier one). Returns false after printing "avformat_open_input failed" or
// "avformat_find_stream_info failed" on standard output, leaving `info` unchanged.
bool probeMediaInfo(const std::string& path, MediaInfo& info);
