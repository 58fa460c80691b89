#include "tests/reference/stream_copies.h"

#include <gtest/gtest.h>

#include "tests/support/test_process.h"

namespace testsupport {

bool copyStreams(const std::vector<StreamCopies>& copies, const std::string& format, const std::string& output) {
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    for (const StreamCopies& c : copies) args.insert(args.end(), {"-i", c.clip});
    for (std::size_t input = 0; input < copies.size(); ++input)
        for (std::size_t i = 0; i < copies[input].times; ++i)
            args.insert(args.end(), {"-map", std::to_string(input) + ":" + copies[input].stream + ":0"});
    // The tool's own bound on streams is 1,000.
    args.insert(args.end(), {"-c", "copy", "-max_streams", "100000", "-f", format, output});
    const ProcessResult made = runProcess(args);
    EXPECT_EQ(made.exitCode, 0) << made.err;
    return made.exitCode == 0;
}

}  // namespace testsupport
