#include "jobs/hardware_encoders.h"

#include "jobs/child_process.h"

const char* const kHardwareEncoderNames[kHardwareEncoderCount] = {"h264_nvenc", "hevc_nvenc", "h264_videotoolbox",
                                                                  "hevc_videotoolbox"};

namespace {
const char* const kFailureTexts[] = {"Unknown encoder", "Error while opening encoder for output stream",
                                     "Conversion failed!"};
// Only these are worth a test frame: the VideoToolbox ones are never chosen.
const HardwareEncoder kTested[] = {H264Nvenc, HevcNvenc};
}  // namespace

bool reportsEncoderFailure(const std::string& output) {
    for (const char* text : kFailureTexts)
        if (output.find(text) != std::string::npos) return true;
    return false;
}

void readEncoderList(const std::string& listing, HardwareEncoderState& state) {
    if (listing.empty()) return;
    for (int i = 0; i < kHardwareEncoderCount; ++i)
        if (listing.find(kHardwareEncoderNames[i]) != std::string::npos) state.listed[i] = true;
}

QStringList encoderListArguments() { return {"-v", "quiet", "-encoders"}; }

QStringList encoderTestArguments(const QString& encoder) {
    return {"-hide_banner", "-f", "lavfi", "-i", "nullsrc", "-s", "1280x720", "-c:v", encoder,
            "-frames:v", "1", "-f", "null", "-"};
}

void probeHardwareEncoders(const ChildProcessRunner& runner, const QString& ffmpeg, HardwareEncoderState& state) {
    if (state.probed) return;
    state.probed = true;
    std::string listing;
    runner.run(ffmpeg, encoderListArguments(), [&](const std::string& line) { listing += line + "\n"; });
    readEncoderList(listing, state);
    for (HardwareEncoder encoder : kTested) {
        if (!state.listed[encoder]) continue;
        std::string output;
        const ChildResult result = runner.run(ffmpeg, encoderTestArguments(kHardwareEncoderNames[encoder]),
                                              [&](const std::string& line) { output += line + "\n"; });
        // A test that could not run or did not end cleanly proves nothing good either.
        if (reportsEncoderFailure(output) || (!result.cancelled && !result.succeeded())) state.failed[encoder] = true;
    }
}

bool markFailedEncoder(const QStringList& arguments, HardwareEncoderState& state) {
    for (const QString& argument : arguments)
        for (int i = 0; i < kHardwareEncoderCount; ++i)
            if (argument.contains(QLatin1String(kHardwareEncoderNames[i]))) {
                state.failed[i] = true;
                return true;
            }
    return false;
}
