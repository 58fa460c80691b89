#pragma once
// What a repaired stream is compared with: the NAL units that lay in a recording's samples, the
// frames the ffmpeg tool decodes from a stream, and the pieces of a reference description.
#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

namespace recovery {

inline int nalType(const std::string& nal, bool hevc) {
    const auto h = static_cast<unsigned char>(nal[0]);
    return hevc ? (h >> 1) & 0x3F : h & 0x1F;
}

// Picture slices: H.264 types 1 to 5, H.265 types 0 to 31.
inline bool isPicture(const std::string& nal, bool hevc) {
    const int type = nalType(nal, hevc);
    return hevc ? type < 32 : type >= 1 && type <= 5;
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

// NAL units of 4-byte length-prefixed samples, with the offset just past each unit.
struct Unit {
    std::string nal;
    std::size_t end;
};
inline std::vector<Unit> lengthPrefixedUnits(const std::string& data) {
    std::vector<Unit> units;
    for (std::size_t i = 0; i + 4 <= data.size();) {
        std::size_t length = 0;
        for (int k = 0; k < 4; ++k) length = (length << 8) | static_cast<unsigned char>(data[i + k]);
        units.push_back({data.substr(i + 4, length), i + 4 + length});
        i += 4 + length;
    }
    return units;
}

// NAL units of an Annex B stream whose units all start with 00 00 00 01, as the engine writes.
inline std::vector<std::string> annexBUnits(const std::string& data) {
    const std::string startCode("\0\0\0\1", 4);
    std::vector<std::string> units;
    std::size_t at = data.find(startCode);
    while (at != std::string::npos) {
        const std::size_t next = data.find(startCode, at + 4);
        units.push_back(data.substr(at + 4, next == std::string::npos ? std::string::npos : next - at - 4));
        at = next;
    }
    return units;
}

// The hexadecimal text at `key` of a reference description, as bytes.
inline std::string descriptionBytes(const std::string& description, const std::string& key) {
    boost::property_tree::ptree tree;
    boost::property_tree::read_xml(description, tree);
    const std::string hex = tree.get<std::string>(key, "");
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// The video header text of a reference description, as bytes.
inline std::string videoHeader(const std::string& description) {
    return descriptionBytes(description, "videopreset.videoheader");
}

// The audio header text of a reference description (the ADTS header of AAC sound), as bytes.
inline std::string audioHeader(const std::string& description) {
    return descriptionBytes(description, "videopreset.audio.audioheader");
}

// The first `packets` video packets of `file`, stream-copied with the given ffmpeg output options.
inline std::string copyPackets(const std::string& file, int packets, const std::vector<std::string>& output,
                               const std::string& target) {
    std::vector<std::string> cmd = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", file, "-map", "0:v",
                                    "-c",     "copy",     "-frames:v", std::to_string(packets)};
    cmd.insert(cmd.end(), output.begin(), output.end());
    cmd.push_back(target);
    const testsupport::ProcessResult r = testsupport::runProcess(cmd);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return testsupport::readFile(target);
}

// Frame checksums of an elementary stream, in output order; `errors` receives what the decoder
// complained about.
inline std::vector<std::string> frameSums(const std::string& stream, const std::string& format,
                                          std::string* errors = nullptr) {
    const testsupport::ProcessResult r =
        testsupport::runProcess({"ffmpeg", "-nostdin", "-v", "error", "-f", format, "-i", stream, "-f", "framemd5", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    if (errors) *errors = r.err;
    std::vector<std::string> sums;
    for (const std::string& line : lines(r.out)) {
        if (line[0] == '#') continue;
        sums.push_back(line.substr(line.rfind(',') + 1));
    }
    return sums;
}

// "type:size" of each unit, to show where two lists part.
inline std::string describe(const std::vector<std::string>& units, bool hevc) {
    std::ostringstream out;
    for (const std::string& nal : units) out << nalType(nal, hevc) << ':' << nal.size() << ' ';
    return out.str();
}

}  // namespace recovery
