#include "tests/support/test_frames.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/test_process.h"

namespace testsupport {

namespace {

// The rows of a framemd5 listing: stream index, dts, pts, duration, size, hash.
std::vector<std::vector<std::string>> framemd5Rows(const std::vector<std::string>& argv) {
    const ProcessResult r = runProcess(argv);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::istringstream row(line);
        std::string field;
        while (std::getline(row, field, ',')) fields.push_back(field.substr(field.find_first_not_of(' ')));
        if (fields.size() >= 6) rows.push_back(std::move(fields));
    }
    return rows;
}

}  // namespace

DecodedFrames decodedFrames(const std::string& path) {
    DecodedFrames frames;
    for (const auto& fields : framemd5Rows({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i", path, "-map",
                                            "0:v", "-fps_mode", "passthrough", "-f", "framemd5", "-"})) {
        frames.pts.push_back(std::stoll(fields[2]));
        frames.hashes.push_back(fields[5]);
    }
    return frames;
}

std::vector<std::string> audioPacketHashes(const std::string& path) {
    std::vector<std::string> hashes;
    for (const auto& fields : framemd5Rows({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i", path, "-map",
                                            "0:a:0", "-c", "copy", "-bsf:a", "aac_adtstoasc", "-f", "framemd5", "-"}))
        hashes.push_back(fields[4] + " " + fields[5]);
    return hashes;
}

std::string decodedSound(const std::string& path) {
    const ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i", path, "-map",
                                        "0:a:0", "-c:a", "pcm_s16le", "-f", "s16le", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

std::string decodeErrors(const std::string& path) {
    const ProcessResult r =
        runProcess({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i", path, "-f", "null", "-"});
    return r.exitCode == 0 ? r.err : "exit " + std::to_string(r.exitCode) + ": " + r.err;
}

}  // namespace testsupport
