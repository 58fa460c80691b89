// The hardware-encoder probe against fake ffmpeg programs written by the tests, and against
// the real tool, which lists NVENC encoders it cannot open here.
#include <gtest/gtest.h>

#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>

#include "jobs/child_process.h"
#include "jobs/child_programs.h"
#include "jobs/conversion_arguments.h"
#include "jobs/hardware_encoders.h"
#include "tests/jobs/job_harness.h"
#include "tests/support/test_files.h"

using namespace testsupport;
using jobtest::writeScript;

namespace {

// Shell lines for one encoder's test run.
const char* const kOpens = "exit 0";
const char* const kFailsToOpen =
    "echo 'Error while opening encoder for output stream #0:0 - maybe incorrect parameters' >&2; "
    "echo 'Conversion failed!' >&2; exit 1";
const char* const kCrashes = "kill -SEGV $$";

struct ProbeCase {
    const char* name;
    const char* listing;  // what "-encoders" prints
    const char* h264Test;
    const char* hevcTest;
    bool listed[kHardwareEncoderCount];
    bool failed[kHardwareEncoderCount];
    int runs;  // ffmpeg starts of the first probe
};

const char* const kBoth = " V....D h264_nvenc  NVIDIA NVENC H.264 encoder\\n V....D hevc_nvenc  NVIDIA NVENC hevc\\n";

const ProbeCase kProbeCases[] = {
    {"nothing_listed", " V..... libx264  H.264\\n", kOpens, kOpens, {}, {}, 1},
    {"both_open", kBoth, kOpens, kOpens, {true, true}, {}, 3},
    {"h264_fails_to_open", kBoth, kFailsToOpen, kOpens, {true, true}, {true, false}, 3},
    {"crash_counts_as_failure", kBoth, kOpens, kCrashes, {true, true}, {false, true}, 3},
    // VideoToolbox is recorded but never chosen, so never tested.
    {"videotoolbox_listed_untested", " V....D h264_videotoolbox\\n V....D hevc_videotoolbox\\n", kFailsToOpen,
     kFailsToOpen, {false, false, true, true}, {}, 1},
    {"empty_listing", "", kOpens, kOpens, {}, {}, 1},
};

void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.name; }

class HardwareProbe : public ::testing::TestWithParam<ProbeCase> {};

}  // namespace

TEST_P(HardwareProbe, ListsThenTestsEachListedNvencEncoderOnce) {
    const ProbeCase& c = GetParam();
    TempDir dir;
    const std::string log = dir.file("runs.log");
    const QString ffmpeg = writeScript(dir, "ffmpeg",
                                  "echo \"$*\" >> '" + log + "'\n"
                                  "case \"$*\" in\n"
                                  "  *-encoders*) printf '" + std::string(c.listing) + "' ;;\n"
                                  "  *h264_nvenc*) " + c.h264Test + " ;;\n"
                                  "  *hevc_nvenc*) " + c.hevcTest + " ;;\n"
                                  "  *) exit 9 ;;\n"
                                  "esac\n");
    std::atomic<bool> cancel{false};
    ChildProcessRunner runner(cancel);
    HardwareEncoderState state;
    probeHardwareEncoders(runner, ffmpeg, state);
    EXPECT_TRUE(state.probed);
    for (int i = 0; i < kHardwareEncoderCount; ++i) {
        EXPECT_EQ(state.listed[i], c.listed[i]) << kHardwareEncoderNames[i];
        EXPECT_EQ(state.failed[i], c.failed[i]) << kHardwareEncoderNames[i];
    }
    const std::string runs = readFile(log);
    EXPECT_EQ(std::count(runs.begin(), runs.end(), '\n'), c.runs) << runs;

    // A second probe in the same job starts nothing.
    probeHardwareEncoders(runner, ffmpeg, state);
    EXPECT_EQ(readFile(log), runs);
}

INSTANTIATE_TEST_SUITE_P(Listings, HardwareProbe, ::testing::ValuesIn(kProbeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EncoderProbe, MissingFfmpegLeavesEveryEncoderUnusable) {
    TempDir dir;
    std::atomic<bool> cancel{false};
    HardwareEncoderState state;
    probeHardwareEncoders(ChildProcessRunner(cancel), QString::fromStdString(dir.file("absent/ffmpeg")), state);
    EXPECT_TRUE(state.probed);
    for (int i = 0; i < kHardwareEncoderCount; ++i) EXPECT_FALSE(state.usable(static_cast<HardwareEncoder>(i)));
}

TEST(EncoderProbe, RealToolNeverLeavesAnEncoderThatCannotOpen) {
    const QString ffmpeg = defaultChildProgramPath(ChildProgram::Ffmpeg, QString());
    ASSERT_FALSE(QStandardPaths::findExecutable("ffmpeg").isEmpty());
    std::atomic<bool> cancel{false};
    ChildProcessRunner runner(cancel);
    HardwareEncoderState state;
    probeHardwareEncoders(runner, ffmpeg, state);

    // Whatever the probe keeps as usable must really encode a frame.
    for (HardwareEncoder encoder : {H264Nvenc, HevcNvenc}) {
        SCOPED_TRACE(kHardwareEncoderNames[encoder]);
        std::string output;
        const ChildResult r = runner.run(ffmpeg, encoderTestArguments(kHardwareEncoderNames[encoder]),
                                         [&](const std::string& line) { output += line + "\n"; });
        const bool opens = r.succeeded() && !reportsEncoderFailure(output);
        if (state.listed[encoder]) EXPECT_EQ(state.usable(encoder), opens) << output;
        else EXPECT_FALSE(state.usable(encoder));
    }

    // So an H.264 conversion names an encoder that works.
    ConversionContext context;
    context.preset = *defaultConversionPreset("Mp4");
    context.encoders = &state;
    const QStringList args = buildConversionArguments("in", "out", "Mp4", context);
    const QString encoder = args.at(args.indexOf("-vcodec") + 1);
    EXPECT_EQ(encoder == "h264_nvenc", state.usable(H264Nvenc));
}
