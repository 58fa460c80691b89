#include "media/ffmpeg_log.h"
#include "mp4/diagnostic_log.h"
#include "reference/analysis_entry.h"

int main(int argc, char* argv[]) {
    // The library's own complaints about a damaged reference can run to tens of thousands of
    // lines; the program's output is the few lines of its analyses and nothing else.
    setFfmpegLogLevel(FfmpegLogLevel::Quiet);
    setDiagnosticHook({});
    return runReferenceAnalysis(argc, argv);
}
