#pragma once
// Starting a job as the window does and watching it: settings, fake child programs
// (scripts written by the test), the signals of one run and the files left behind.
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#include "jobs/child_programs.h"
#include "jobs/unit_file.h"
#include "tests/support/encoder_recordings.h"
#include "tests/support/test_files.h"

namespace jobtest {

// An executable shell script in `dir`; returns its path.
QString writeScript(const testsupport::TempDir& dir, const std::string& name, const std::string& body);

// The real ffmpeg tool's absolute path, for scripts that hand most calls on to it.
std::string realFfmpeg();

// Points one child program at `path` for the lifetime of the object.
class ProgramOverride {
public:
    ProgramOverride(ChildProgram program, const QString& path);
    ~ProgramOverride();
    ProgramOverride(const ProgramOverride&) = delete;
    ProgramOverride& operator=(const ProgramOverride&) = delete;

private:
    ChildProgram program_;
};

// The project's own Ordwick and Brannoc from the build's program folder.
class RealHelperPrograms {
public:
    RealHelperPrograms();

private:
    ProgramOverride ordwick_;
    ProgramOverride brannoc_;
};

// "SavePath", "GeneralFormatOutput", "referenceFile" and "saveInFileDirectory" for the runs
// of one test; removed again at its end, so later tests find the store as before.
class ScopedSettings {
public:
    ScopedSettings(const std::string& outputFolder, const std::string& format, const std::string& reference,
                   bool saveInSourceFolder = false);
    ~ScopedSettings();
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;
};

// A job for `source` as the window makes it: details from the probe, a braced uid.
std::unique_ptr<unitFile> makeJob(const std::string& source, bool repair);

struct RunRecord {
    std::vector<std::string> events;  // signal names in order, status texts as "text:<...>"
    std::vector<int> endStatuses;
    bool finished = false;
    double seconds = 0;
    bool uidsMatch = true;  // every signal carried the job's uid
};

// Starts the job and waits (running the event loop) until its thread ends. When
// `cancelOn` is not empty, the job is cancelled as the window does (setCancel(true)) as soon
// as a status text or signal name equal to it arrives; `cancelSeconds` is then the time
// from the cancel to the end of the run.
RunRecord runJob(unitFile& job, const std::string& cancelOn = {}, double* cancelSeconds = nullptr, int timeoutMs = 60000);

// Every entry under `folder`, hidden ones included, as relative paths, sorted.
std::vector<std::string> listFolder(const std::string& folder);

// A whole repair job, as the window starts it, on the damaged file of a recording case: the
// file under a camera's name in a source folder of `dir`, the repair into an output folder of
// `dir` with the case's reference, the project's own helper programs, no conversion.
struct RecordingJob {
    testsupport::DamagedRecording clips;
    std::unique_ptr<unitFile> job;
    RunRecord run;
};
RecordingJob runRecordingJob(const testsupport::RecordingCase& c, const testsupport::TempDir& dir);

// The packets of one kind (audio or video) of `recording` that lie whole before `cut`.
std::size_t wholePacketsBefore(const std::string& recording, std::int64_t cut, bool audio);

struct StreamDetails {
    std::string codec;
    double seconds = 0;
};
// The first stream of a kind ("v" or "a") of `path`, as the ffmpeg tool's probe reports it.
StreamDetails probeStream(const std::string& path, const std::string& kind);

}  // namespace jobtest
