#pragma once
// Decoded video frames and sound of a file, as the ffmpeg tool gives them.
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

// Size and checksum of every packet of the first audio stream as stored, without decoding it
// (ADTS frames lose their headers first, as on their way into an MP4).
std::vector<std::string> audioPacketHashes(const std::string& path);

// The first audio stream decoded to interleaved 16-bit little-endian samples (a failure of the
// calling test, and what came, when the tool cannot decode it).
std::string decodedSound(const std::string& path);

// What the decoder complains about in `path` (empty for a file that decodes cleanly).
std::string decodeErrors(const std::string& path);

}  // namespace testsupport
