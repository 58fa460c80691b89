// Test entry for programs that need no Qt objects. Like each of the system's programs, a test
// program sets the FFmpeg log level once: the damaged recordings the tests repair make the
// decoders complain of every picture.
#include <gtest/gtest.h>

#include "media/ffmpeg_log.h"

int main(int argc, char** argv) {
    setFfmpegLogLevel(FfmpegLogLevel::Quiet);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
