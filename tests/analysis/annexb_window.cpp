#include "tests/analysis/annexb_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "analysis/header_finder.h"
#include "mp4/nal_header.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

namespace testsupport {

UnitWindow unitWindow(const std::string& s, bool hevc) {
    std::vector<std::pair<std::size_t, std::size_t>> spans;  // unit start, end
    std::size_t start = std::string::npos;
    for (std::size_t i = 0; i + 3 <= s.size();) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            if (start != std::string::npos) {
                std::size_t end = i;
                while (end > start && s[end - 1] == 0) --end;  // the zero of a four-byte start code
                spans.push_back({start, end});
            }
            start = i + 3;
            i += 3;
        } else {
            ++i;
        }
    }
    if (start != std::string::npos) spans.push_back({start, s.size()});

    UnitWindow w;
    for (const auto& [begin, end] : spans) {
        const std::uint8_t header = std::uint8_t(s[begin]);
        const int type = mp4::nalTypeOf(header, hevc);
        const std::uint32_t size = std::uint32_t(end - begin);
        for (int shift : {24, 16, 8, 0}) w.bytes.push_back(std::uint8_t(size >> shift));
        w.units.push_back({type, std::int32_t(w.bytes.size()), std::int32_t(size)});
        w.bytes.insert(w.bytes.end(), s.begin() + std::ptrdiff_t(begin), s.begin() + std::ptrdiff_t(end));
        if (mp4::isParameterSetType(type, hevc) && w.parameterSets.size() < 4096) {
            w.parameterSets += "00000001";
            for (std::size_t i = begin; i < end; ++i) w.parameterSets += byteToHex(std::uint8_t(s[i]));
        }
    }
    return w;
}

std::string rawStream(const std::string& name, const std::string& source, const std::vector<std::string>& codecArgs) {
    const std::string path = clipDir() + "/" + name;
    const bool made = produceOnce(path, [&](const std::string& part) {
        std::vector<std::string> cmd = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi",
                                        "-i",     source};
        cmd.insert(cmd.end(), codecArgs.begin(), codecArgs.end());
        cmd.insert(cmd.end(), {"-an", "-f", codecArgs.size() && codecArgs[1] == "libx265" ? "hevc" : "h264", part});
        const ProcessResult r = runProcess(cmd);
        if (r.exitCode != 0) ADD_FAILURE() << "ffmpeg could not make " << name << ": " << r.err;
        return r.exitCode == 0;
    });
    return made ? path : std::string();
}

}  // namespace testsupport
