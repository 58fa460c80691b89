#pragma once
// What the ffmpeg suite's own probe reports about a clip, to check Ordwick's findings against.
#include <map>
#include <string>
#include <vector>

namespace testsupport {

using StreamFields = std::map<std::string, std::string>;

// One map per stream, in stream order: codec_type, codec_name, width, height, r_frame_rate,
// sample_rate, channels (only the fields the stream has). Empty when ffprobe fails.
std::vector<StreamFields> ffprobeStreams(const std::string& path);

// The last stream of `codecType` ("video", "audio"), or an empty map.
StreamFields lastStreamOf(const std::vector<StreamFields>& streams, const std::string& codecType);

}  // namespace testsupport
