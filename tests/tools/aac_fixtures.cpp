#include "tests/tools/aac_fixtures.h"

#include <cstdint>

#include <gtest/gtest.h>

#include "mp4/program_config.h"
#include "tests/support/test_process.h"

namespace testsupport {

void PrintTo(const AacSource& source, std::ostream* os) {
    *os << source.rate << " Hz, " << source.channels << " channels";
    if (source.variant) *os << " (" << source.variant << ")";
}

AacSource quadSource() { return {48000, 4, 2, "quad", {"-channel_layout", "quad"}}; }

std::string makeAdts(const TempDir& dir, const AacSource& source) {
    const std::string variant = source.variant ? source.variant : "";
    const std::string path =
        dir.file("tone-" + std::to_string(source.rate) + "-" + std::to_string(source.channels) + variant + ".aac");
    std::vector<std::string> command = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi",
                                        "-i",
                                        "sine=frequency=440:beep_factor=4:sample_rate=" + std::to_string(source.rate) +
                                            ":duration=" + std::to_string(source.seconds),
                                        "-ac", std::to_string(source.channels), "-c:a", "aac", "-b:a", "96k"};
    command.insert(command.end(), source.options.begin(), source.options.end());
    command.insert(command.end(), {"-f", "adts", path});
    ProcessResult r = runProcess(command);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return path;
}

std::size_t leadSize(const std::string& frame) {
    const auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(frame.at(i)); };
    const int channels = ((b(2) & 1) << 2) | (b(3) >> 6);
    if (channels != 0) return 7;
    mp4::ProgramConfig layout;
    std::size_t size = 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.data());
    EXPECT_TRUE(mp4::readProgramConfigElement(bytes + 7, frame.size() - 7, layout, size)) << "no program config element";
    return 7 + size;
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
    const std::size_t lead = leadSize(frames.at(0));
    std::string out = frames[0].substr(0, lead);
    for (std::size_t i = 0; i < frames.size(); ++i) out += frames[i].substr(i == 0 ? lead : 7) + junk(i);
    return out;
}

}  // namespace testsupport
