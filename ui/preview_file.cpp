#include "ui/preview_file.h"

#include "jobs/unit_file.h"
#include "jobs/video_details.h"

PreviewJobState previewJobState(const unitFile& job) {
    return {!isUnreadableDuration(job.details.mDurationFormated), job.isRepair, job.isConverting.load(), job.isDone.load()};
}

PreviewFile previewFileFor(PreviewOccasion occasion, const PreviewJobState& job) {
    const bool repairResult = job.isRepair && (job.isConverting || job.isDone);
    switch (occasion) {
    case PreviewOccasion::RowSelected:
        // A source the probe could not read has nothing to show until a repair made a file.
        if (!job.readable) return repairResult ? PreviewFile::Output : PreviewFile::None;
        return job.isRepair && job.isConverting ? PreviewFile::Output : PreviewFile::Source;
    case PreviewOccasion::ConversionSucceeded:
        return repairResult ? PreviewFile::Output : PreviewFile::Source;
    case PreviewOccasion::RepairEnded:
        return PreviewFile::Output;
    }
    return PreviewFile::None;
}
