#include "jobs/repair_outcome.h"

#include <QtGlobal>

#include <cerrno>

#include "repair/video_repair.h"

bool isRepairFailure(RepairOutcome outcome) {
    switch (outcome) {
    case RepairOutcome::NotRun:
    case RepairOutcome::Repaired:
    case RepairOutcome::RepairedWithoutSound:
    case RepairOutcome::Cancelled:
        return false;
    default:
        return true;
    }
}

const char* repairOutcomeText(RepairOutcome outcome) {
    switch (outcome) {
    case RepairOutcome::RepairedWithoutSound:
        return QT_TRANSLATE_NOOP("RepairOutcome", "Picture repaired without its sound");
    case RepairOutcome::ReferenceMissing:
        return QT_TRANSLATE_NOOP("RepairOutcome", "The reference is missing or not a regular file");
    case RepairOutcome::ReferenceUnreadable:
        return QT_TRANSLATE_NOOP("RepairOutcome", "The reference could not be read");
    case RepairOutcome::ReferenceWithoutVideo:
        return QT_TRANSLATE_NOOP("RepairOutcome", "The reference holds no video");
    case RepairOutcome::ReferenceDoesNotFit:
        // The window's own text for a repair that this reference cannot make.
        return "can't repair with this reference";
    case RepairOutcome::SourceMissing:
        return QT_TRANSLATE_NOOP("RepairOutcome", "The damaged file is gone");
    case RepairOutcome::SourceNotRegular:
        return QT_TRANSLATE_NOOP("RepairOutcome", "The damaged file is not a regular file");
    case RepairOutcome::SourceEmpty:
        return QT_TRANSLATE_NOOP("RepairOutcome", "The damaged file is empty");
    case RepairOutcome::SourceUnreadable:
        return QT_TRANSLATE_NOOP("RepairOutcome", "The damaged file cannot be read");
    case RepairOutcome::NoVideoFound:
        return QT_TRANSLATE_NOOP("RepairOutcome", "No video found in the damaged file");
    case RepairOutcome::OutputNotWritable:
        return QT_TRANSLATE_NOOP("RepairOutcome", "The output folder cannot be written");
    case RepairOutcome::DiskFull:
        return QT_TRANSLATE_NOOP("RepairOutcome", "The disk is full");
    case RepairOutcome::NoFrameRate:
        return QT_TRANSLATE_NOOP("RepairOutcome", "The reference gives no frame rate");
    case RepairOutcome::EngineFailed:
        return QT_TRANSLATE_NOOP("RepairOutcome", "The repair stopped on an internal error");
    case RepairOutcome::MuxFailed:
        return QT_TRANSLATE_NOOP("RepairOutcome", "The repaired file could not be made");
    case RepairOutcome::NotRun:
    case RepairOutcome::Repaired:
    case RepairOutcome::Cancelled:
        break;
    }
    return nullptr;
}

RepairOutcome writeFailure(int error) {
    const bool noRoom = error == ENOSPC || error == EDQUOT || error == EFBIG;
    return noRoom ? RepairOutcome::DiskFull : RepairOutcome::OutputNotWritable;
}

RepairOutcome engineOutcome(int result, int outputError) {
    switch (result) {
    case videoRepair::kFinished:
        return RepairOutcome::Repaired;
    case videoRepair::kNoTrackRecord:
        return RepairOutcome::ReferenceUnreadable;
    case videoRepair::kNoVideoTrack:
        return RepairOutcome::ReferenceWithoutVideo;
    case videoRepair::kSourceUnreadable:
        return RepairOutcome::SourceUnreadable;
    case videoRepair::kVideoOutputFailed:
    case videoRepair::kAudioOutputFailed:
        return writeFailure(outputError);
    case videoRepair::kNoVideoFound:
    case videoRepair::kAudioWithoutVideo:
        return RepairOutcome::NoVideoFound;
    default:
        return RepairOutcome::EngineFailed;
    }
}
