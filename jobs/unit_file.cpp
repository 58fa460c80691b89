#include "jobs/unit_file.h"

#include "jobs/child_programs.h"
#include "jobs/output_names.h"
#include "jobs/work_folder.h"
#include "repair/video_repair.h"

// The engine polls the job's own cancel flag: a cancel reaches a run whenever it comes, even
// before the run has started, and only the window's reset clears it.
unitFile::unitFile() : QThread(nullptr), fixer(std::make_unique<videoRepair>(cancelRequested)) {
    // The engine emits on the job's thread; the job object lives on the GUI thread, so
    // these run queued there.
    connect(fixer.get(), &videoRepair::statusFix, this, &unitFile::statusFix);
    connect(fixer.get(), &videoRepair::statusFixProgress, this, &unitFile::statusFixProgress);
    connect(fixer.get(), &videoRepair::previewPicture, this, &unitFile::previewPicture);
}

unitFile::~unitFile() {
    // The owner waits for the thread before deleting; this only guards a careless owner.
    cancelProcesses();
    wait();
}

void unitFile::setVideoDetails(const videoDetails& probed) { details = probed; }

void unitFile::setPreviewShow(bool show) {
    previewShow = show;
    fixer->setPreviewEnabled(show);
}

void unitFile::setSelected(bool selected) { fixer->setPreviewSelected(selected); }

void unitFile::setCancel(bool cancel) {
    // Only flags cross threads: the runners see cancelRequested within one poll and kill
    // their child on the job's thread; the engine's scan polls the same flag.
    cancelRequested = cancel;
}

void unitFile::cancelProcesses() { setCancel(true); }

QString unitFile::extensionForFormat(const QString& format) { return ::extensionForFormat(format); }

QString unitFile::uniqueOutputName(const QString& folder, const QString& base, const QString& extension) {
    return ::uniqueOutputName(folder, base, extension);
}

QString unitFile::ffmpegPath() { return childProgramPath(ChildProgram::Ffmpeg); }

void unitFile::statusFix(QString inMsg) { emit repairStatusText(quid(), inMsg); }

void unitFile::statusFixProgress(int percent) { emit repairStatus(quid(), percent); }

void unitFile::previewPicture(QImage picture) { emit repairPicture(quid(), picture); }
