#pragma once
// References of many tracks made from ready clips: their streams copied, never encoded again,
// into one file with the ffmpeg tool.
#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

struct StreamCopies {
    std::string clip;
    std::string stream;  // "v" or "a": the clip's first of that kind
    std::size_t times;
};

// Writes `output` in `format` ("mp4", "matroska") with the copies in the order given. Fails the
// calling test (and returns false) when ffmpeg cannot.
bool copyStreams(const std::vector<StreamCopies>& copies, const std::string& format, const std::string& output);

}  // namespace testsupport
