#include "ui/job_end.h"

#include <QCoreApplication>

#include <algorithm>
#include <iterator>

#include "jobs/unit_file.h"

namespace {

struct StatusText {
    int code;
    const char* text;
};

const StatusText kStatusTexts[] = {
    {0, QT_TRANSLATE_NOOP("MainWindow", "SUCCESS")},
    {1, QT_TRANSLATE_NOOP("MainWindow", "UNSUPPORTED PROTOCOL")},
    {2, QT_TRANSLATE_NOOP("MainWindow", "INIT FAILED")},
    {3, QT_TRANSLATE_NOOP("MainWindow", "URL MALFORMAT")},
    {4, QT_TRANSLATE_NOOP("MainWindow", "UNSUPPORTED")},
    {5, QT_TRANSLATE_NOOP("MainWindow", "COULDNT RESOLVE PROXY")},
    {6, QT_TRANSLATE_NOOP("MainWindow", "COULDNT RESOLVE HOST")},
    {7, QT_TRANSLATE_NOOP("MainWindow", "COULDNT CONNECT")},
    {9, QT_TRANSLATE_NOOP("MainWindow", "REMOTE ACCESS DENIED")},
    {18, QT_TRANSLATE_NOOP("MainWindow", "PARTIAL FILE ERROR")},
    {21, QT_TRANSLATE_NOOP("MainWindow", "QUOTE ERROR")},
    {22, QT_TRANSLATE_NOOP("MainWindow", "HTTP RETURNED ERROR")},
    {23, QT_TRANSLATE_NOOP("MainWindow", "WRITE ERROR")},
    {26, QT_TRANSLATE_NOOP("MainWindow", "READ ERROR")},
    {27, QT_TRANSLATE_NOOP("MainWindow", "OUT OF MEMORY")},
    {28, QT_TRANSLATE_NOOP("MainWindow", "OPERATION TIMEDOUT")},
    {33, QT_TRANSLATE_NOOP("MainWindow", "RANGE ERROR")},
    {34, QT_TRANSLATE_NOOP("MainWindow", "HTTP POST ERROR")},
    {36, QT_TRANSLATE_NOOP("MainWindow", "BAD DOWNLOAD RESUME")},
    {37, QT_TRANSLATE_NOOP("MainWindow", "FILE COULDNT READ FILE")},
    {42, QT_TRANSLATE_NOOP("MainWindow", "ABORTED")},
    {47, QT_TRANSLATE_NOOP("MainWindow", "TOO MANY REDIRECTS")},
    {48, QT_TRANSLATE_NOOP("MainWindow", "UNKNOWN OPTION")},
    {52, QT_TRANSLATE_NOOP("MainWindow", "GOT NOTHING")},
    {56, QT_TRANSLATE_NOOP("MainWindow", "RECV ERROR")},
    {61, QT_TRANSLATE_NOOP("MainWindow", "BAD CONTENT ENCODING")},
    {63, QT_TRANSLATE_NOOP("MainWindow", "FILESIZE EXCEEDED")},
    {78, QT_TRANSLATE_NOOP("MainWindow", "REMOTE FILE NOT FOUND")},
    {101, QT_TRANSLATE_NOOP("MainWindow", "EMPTY FILE")},
    {102, QT_TRANSLATE_NOOP("MainWindow", "Conversion error")},
};

const char* const kUnknownStatus = QT_TRANSLATE_NOOP("MainWindow", "UNKNOWN STATUS");
const char* const kSuccess = QT_TRANSLATE_NOOP("MainWindow", "Success");
const char* const kConversionFailedRepairKept = QT_TRANSLATE_NOOP("MainWindow", "Conversion error, repaired file kept");

QString tr(const char* text) { return QCoreApplication::translate("MainWindow", text); }

// The job's words for its outcome (the window's own text for a reference that does not fit is
// marked for no translation at its source, so it stands as it is).
QString outcomeText(RepairOutcome outcome) {
    return QCoreApplication::translate("RepairOutcome", repairOutcomeText(outcome));
}

}  // namespace

QString statusCodeTextOf(int code) {
    const auto row = std::find_if(std::begin(kStatusTexts), std::end(kStatusTexts),
                                  [code](const StatusText& s) { return s.code == code; });
    return tr(row == std::end(kStatusTexts) ? kUnknownStatus : row->text);
}

JobEnd describeJobEnd(int status, bool repairJob, bool repairedFileKept, RepairOutcome outcome) {
    if (status == unitFile::kStatusOk) {
        if (repairJob && outcome == RepairOutcome::RepairedWithoutSound)
            return {RowLook::Incomplete, outcomeText(outcome), false};
        return {RowLook::Succeeded, tr(kSuccess), false};
    }
    if (repairJob && status != unitFile::kStatusCancelled) {
        if (repairedFileKept) return {RowLook::Failed, tr(kConversionFailedRepairKept), true};
        // A failure the job names no cause of is told as one of the reference.
        const RepairOutcome cause = isRepairFailure(outcome) ? outcome : RepairOutcome::ReferenceDoesNotFit;
        return {RowLook::Failed, outcomeText(cause), true};
    }
    return {RowLook::Failed, statusCodeTextOf(status), true};
}
