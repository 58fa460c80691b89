#include "tests/reference/ffprobe_streams.h"

#include <sstream>

#include "tests/support/test_process.h"

namespace testsupport {

std::vector<StreamFields> ffprobeStreams(const std::string& path) {
    const ProcessResult r = runProcess(
        {"ffprobe", "-v", "error", "-show_entries",
         "stream=codec_type,codec_name,width,height,r_frame_rate,sample_rate,channels", "-of", "compact", path});
    std::vector<StreamFields> streams;
    if (r.exitCode != 0) return streams;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        // stream|codec_name=h264|codec_type=video|...
        std::istringstream fields(line);
        std::string field;
        if (!std::getline(fields, field, '|') || field != "stream") continue;
        StreamFields stream;
        while (std::getline(fields, field, '|')) {
            const std::size_t eq = field.find('=');
            if (eq != std::string::npos) stream[field.substr(0, eq)] = field.substr(eq + 1);
        }
        streams.push_back(stream);
    }
    return streams;
}

StreamFields lastStreamOf(const std::vector<StreamFields>& streams, const std::string& codecType) {
    StreamFields found;
    for (const StreamFields& s : streams) {
        auto it = s.find("codec_type");
        if (it != s.end() && it->second == codecType) found = s;
    }
    return found;
}

}  // namespace testsupport
