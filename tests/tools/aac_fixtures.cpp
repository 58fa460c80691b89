#include "tests/tools/aac_fixtures.h"

#include <cstdint>

#include <gtest/gtest.h>

#include "tests/support/test_process.h"

namespace testsupport {

void PrintTo(const AacSource& source, std::ostream* os) {
    *os << source.rate << " Hz, " << source.channels << " channels";
}

std::string makeAdts(const TempDir& dir, const AacSource& source) {
    const std::string path = dir.file("tone-" + std::to_string(source.rate) + "-" + std::to_string(source.channels) + ".aac");
    ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                  "sine=frequency=440:beep_factor=4:sample_rate=" + std::to_string(source.rate) +
                                      ":duration=" + std::to_string(source.seconds),
                                  "-ac", std::to_string(source.channels), "-c:a", "aac", "-b:a", "96k", "-f", "adts", path});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return path;
}

std::vector<std::string> adtsFrames(const std::string& bytes) {
    std::vector<std::string> frames;
    std::size_t at = 0;
    while (at + 7 <= bytes.size()) {
        const auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[at + i]); };
        const std::size_t length = ((b(3) & 3u) << 11) | (b(4) << 3) | (b(5) >> 5);
        if (b(0) != 0xFF || length < 7 || at + length > bytes.size()) break;
        frames.push_back(bytes.substr(at, length));
        at += length;
    }
    return frames;
}

std::string engineAudio(const std::vector<std::string>& frames, const std::function<std::string(std::size_t)>& junk) {
    std::string out = frames.at(0).substr(0, 7);
    for (std::size_t i = 0; i < frames.size(); ++i) out += frames[i].substr(7) + junk(i);
    return out;
}

}  // namespace testsupport
