#pragma once
// Decoded video frames of a file, as the ffmpeg tool reports them with framemd5.
#include <string>
#include <vector>

namespace testsupport {

struct DecodedFrames {
    std::vector<std::string> hashes;  // per frame, in output order
    std::vector<long long> pts;       // each frame's presentation time, in the stream's time base
};

// Every decoded frame of the first video stream, ordered by the file's own times (no frame
// dropped or duplicated to fit a rate).
DecodedFrames decodedFrames(const std::string& path);

}  // namespace testsupport
