#include "tests/support/test_frames.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/test_process.h"

namespace testsupport {

DecodedFrames decodedFrames(const std::string& path) {
    const ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i", path, "-map",
                                        "0:v", "-fps_mode", "passthrough", "-f", "framemd5", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    DecodedFrames frames;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        // stream index, dts, pts, duration, size, hash
        std::vector<std::string> fields;
        std::istringstream row(line);
        std::string field;
        while (std::getline(row, field, ',')) fields.push_back(field.substr(field.find_first_not_of(' ')));
        if (fields.size() < 6) continue;
        frames.pts.push_back(std::stoll(fields[2]));
        frames.hashes.push_back(fields[5]);
    }
    return frames;
}

}  // namespace testsupport
