// Audio repair: Brannoc AUDIO_FILE ACCESS_CODE writes AUDIO_FILE + "-checked.aac", every raw
// AAC frame of the input behind its own ADTS header. Progress goes to standard output as
// "done=<percent>, frames=<n>" lines.
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "media/access_codes.h"
#include "media/work_file_names.h"
#include "tools/brannoc/adts_reframer.h"

namespace {

enum ExitCode { kOk = 0, kIoError = 1, kUsage = 2, kNoHeader = 3, kNoFrames = 4, kDecoder = 5 };

int exitCodeFor(brannoc::ReframeResult result) {
    switch (result) {
    case brannoc::ReframeResult::Ok: return kOk;
    case brannoc::ReframeResult::ReadError:
    case brannoc::ReframeResult::WriteError: return kIoError;
    case brannoc::ReframeResult::NoHeader: return kNoHeader;
    case brannoc::ReframeResult::NoFrames: return kNoFrames;
    case brannoc::ReframeResult::DecoderError: return kDecoder;
    }
    return kIoError;
}

const char* messageFor(brannoc::ReframeResult result) {
    switch (result) {
    case brannoc::ReframeResult::Ok: return "ok";
    case brannoc::ReframeResult::ReadError: return "read error";
    case brannoc::ReframeResult::WriteError: return "write error";
    case brannoc::ReframeResult::NoHeader: return "no ADTS header at the start of the input";
    case brannoc::ReframeResult::NoFrames: return "no AAC frames found, or too few to be the recording's sound";
    case brannoc::ReframeResult::DecoderError: return "the AAC decoder rejects the header's configuration";
    }
    return "error";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: Brannoc AUDIO_FILE ACCESS_CODE\n");
        return kUsage;
    }
    if (std::strcmp(argv[2], kAudioRepairAccessCode) != 0) {
        std::fprintf(stderr, "access code refused\n");
        return kUsage;
    }
    const std::string inputPath = argv[1];
    const std::string outputPath = inputPath + kCheckedAudioSuffix;

    std::FILE* input = std::fopen(inputPath.c_str(), "rb");
    if (!input) {
        std::fprintf(stderr, "cannot open %s\n", inputPath.c_str());
        return kIoError;
    }
    struct stat info {};
    const std::uint64_t inputSize = fstat(fileno(input), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;

    std::FILE* output = std::fopen(outputPath.c_str(), "wb");
    if (!output) {
        std::fclose(input);
        std::fprintf(stderr, "cannot create %s\n", outputPath.c_str());
        return kIoError;
    }

    brannoc::ReframeStats stats;
    brannoc::ReframeResult result = brannoc::reframe(input, inputSize, output, stats, [&](double percent) {
        std::printf("done=%.1f, frames=%llu\n", percent, static_cast<unsigned long long>(stats.frames));
        std::fflush(stdout);
    });
    std::fclose(input);
    if (std::fclose(output) != 0 && result == brannoc::ReframeResult::Ok) result = brannoc::ReframeResult::WriteError;

    if (result != brannoc::ReframeResult::Ok) {
        // Never leave invented or half-written audio behind.
        std::remove(outputPath.c_str());
        std::fprintf(stderr, "%s (frames=%llu skipped=%llu)\n", messageFor(result),
                     static_cast<unsigned long long>(stats.frames),
                     static_cast<unsigned long long>(stats.skippedBytes));
        return exitCodeFor(result);
    }
    std::printf("frames=%llu skipped=%llu\n", static_cast<unsigned long long>(stats.frames),
                static_cast<unsigned long long>(stats.skippedBytes));
    return kOk;
}
