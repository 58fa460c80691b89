#pragma once
// Which of a job's files the preview shows: the source before the job has a result, the
// repaired or converted file once it has one. Decided in one place for every occasion on
// which the window reopens the preview.
class unitFile;

enum class PreviewOccasion {
    RowSelected,          // the row became the current row (or Preview was turned on)
    ConversionSucceeded,  // the current row's job ended with status 0
    RepairEnded,          // the current row's repair phase ended
};

enum class PreviewFile { None, Source, Output };

// What the decision reads of a job, as it stood when the occasion came.
struct PreviewJobState {
    bool readable;  // the probe could read the source
    bool isRepair;
    bool isConverting;
    bool isDone;
};

PreviewJobState previewJobState(const unitFile& job);

PreviewFile previewFileFor(PreviewOccasion occasion, const PreviewJobState& job);
