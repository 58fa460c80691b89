#pragma once
// How the repair phase of a job ended: one value, decided where the job learns it, that the
// job's end, its conversion log and the window read. Each failure names its cause, so that a
// row says what went wrong rather than one text for every kind of failure.

enum class RepairOutcome {
    NotRun,                // no repair phase in this run (a conversion job), or not ended yet
    Repaired,              // the picture, and the sound when the reference has any
    RepairedWithoutSound,  // the picture came back; none of the sound the reference has did
    Cancelled,
    // Failures: no repaired file is kept.
    ReferenceMissing,       // gone, or no regular file (a folder, a device)
    ReferenceUnreadable,    // its analysis gave no usable description
    ReferenceWithoutVideo,  // it has tracks, none of them video
    ReferenceDoesNotFit,    // the pictures found do not decode with its parameter sets
    SourceMissing,          // the damaged file is gone
    SourceNotRegular,
    SourceEmpty,
    SourceUnreadable,
    NoVideoFound,           // nothing in the damaged file reads as the reference's video
    OutputNotWritable,
    DiskFull,
    NoFrameRate,            // the reference gives none, so the pictures cannot be timed
    EngineFailed,           // the repair engine ended on a failure of its own
    MuxFailed,              // the repaired file could not be made from what was found
};

bool isRepairFailure(RepairOutcome outcome);

// What the row says of a failure or of a repair that lost its sound, as the job words it
// (English; the window translates it in the context "RepairOutcome"); null for the others.
const char* repairOutcomeText(RepairOutcome outcome);

// The failure behind a write that failed with the system's error number `error`: no room
// left (a full disk, a quota, a file larger than the file system takes), else the folder.
RepairOutcome writeFailure(int error);

// The failure a repair engine result (videoRepair::startFixer) stands for; Repaired for a
// run that finished. `outputError` is the engine's outputError.
RepairOutcome engineOutcome(int result, int outputError);
