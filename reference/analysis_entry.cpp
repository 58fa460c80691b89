#include "reference/analysis_entry.h"

#include "media/access_codes.h"
#include "reference/camera_classifier.h"
#include "reference/document_writer.h"
#include "reference/media_probe.h"
#include "reference/mp4_structure.h"

bool isAccessCodeValid(const std::string& code) { return code == kReferenceAccessCode; }

int runReferenceAnalysis(int argc, const char* const argv[], ReferenceRunState& state) {
    if (argc < 4 || argv == nullptr || argv[1] == nullptr || argv[2] == nullptr || argv[3] == nullptr)
        return kExitBadArguments;
    if (!isAccessCodeValid(argv[2])) return kExitBadArguments;
    const std::string input = argv[1];
    const std::string output = argv[3];

    // Each step reads the input on its own; a failed step leaves its part at the start values
    // and the later steps still run.
    probeMediaInfo(input, state.media);
    state.cameraPresetName = readPresetFromFile(input);
    parseMp4File(input, state.result);

    const bool written = writeVideoPreset(output, "Unknown", state.cameraPresetName, state.result, state.media);
    return written ? kExitWritten : kExitNotWritten;
}

int runReferenceAnalysis(int argc, const char* const argv[]) {
    ReferenceRunState state;
    return runReferenceAnalysis(argc, argv, state);
}
