#pragma once
// The audio and video packets of a clip as the ffmpeg tool reads them, in file order: where each
// lies in the file, how long it is and how long it plays; and the NAL units of a video sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "mp4/byte_order.h"
#include "tests/support/test_process.h"

namespace clippackets {

struct MediaPacket {
    bool audio = false;
    std::int64_t pos = 0;
    std::int64_t size = 0;
    double duration = 0;
};

// The value of `key` in one line of ffprobe's compact output ("k1=v1|k2=v2").
inline std::string field(const std::string& line, const std::string& key) {
    const std::string token = key + "=";
    for (std::size_t at = line.find(token); at != std::string::npos; at = line.find(token, at + token.size())) {
        if (at != 0 && line[at - 1] != '|') continue;
        const std::size_t value = at + token.size();
        const std::size_t end = line.find('|', value);
        return line.substr(value, end == std::string::npos ? std::string::npos : end - value);
    }
    return {};
}

inline std::vector<MediaPacket> packetsOf(const std::string& file) {
    const testsupport::ProcessResult r = testsupport::runProcess(
        {"ffprobe", "-v", "error", "-show_entries", "packet=codec_type,pos,size,duration_time", "-of", "compact=p=0",
         file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<MediaPacket> packets;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const std::string type = field(line, "codec_type");
        if (type != "audio" && type != "video") continue;
        MediaPacket p;
        p.audio = type == "audio";
        p.pos = std::stoll(field(line, "pos"));
        p.size = std::stoll(field(line, "size"));
        const std::string d = field(line, "duration_time");
        p.duration = d.empty() || d == "N/A" ? 0 : std::stod(d);
        packets.push_back(p);
    }
    std::sort(packets.begin(), packets.end(), [](const MediaPacket& a, const MediaPacket& b) { return a.pos < b.pos; });
    return packets;
}

// NAL units of 4-byte length-prefixed samples, with the offset just past each unit (beyond the
// data for a unit the data cuts off).
struct Unit {
    std::string nal;
    std::size_t end;
};
inline std::vector<Unit> lengthPrefixedUnits(const std::string& data) {
    std::vector<Unit> units;
    for (std::size_t i = 0; i + 4 <= data.size();) {
        const std::size_t length = mp4::be32(data.data() + i);
        units.push_back({data.substr(i + 4, length), i + 4 + length});
        i += 4 + length;
    }
    return units;
}

}  // namespace clippackets
