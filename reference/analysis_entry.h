#pragma once
// Ordwick's run: check the command line, analyse the reference video, write its description.
#include <string>

#include "reference/records.h"

// Exit codes of a run.
enum ReferenceExitCode : int {
    kExitWritten = 0,       // the document was written, whatever the analysis found
    kExitNotWritten = 1,    // the document could not be written
    kExitBadArguments = 2,  // too few arguments or a wrong access code; nothing read or written
};

// Everything one run knows; lives as long as the run.
struct ReferenceRunState {
    AnalysisResult result;
    MediaInfo media;
    std::string cameraPresetName;  // lower-case preset name, empty when nothing matched
};

// True when `code` equals the access code byte for byte.
bool isAccessCodeValid(const std::string& code);

// Runs the analyses of argv[1] in order (media probe, camera classifier, structure analysis) into
// `state` and writes the document to argv[3]. Arguments past the third are ignored.
int runReferenceAnalysis(int argc, const char* const argv[], ReferenceRunState& state);

// The same with a run state of its own, as the program's entry uses it.
int runReferenceAnalysis(int argc, const char* const argv[]);
