#include "jobs/unit_file.h"

#include "jobs/child_programs.h"
#include "jobs/output_names.h"
#include "jobs/work_folder.h"
#include "repair/video_repair.h"

unitFile::unitFile() : QThread(nullptr), fixer(std::make_unique<videoRepair>()) {
    // The engine emits on the job's thread; the job object lives on the GUI thread, so
    // these run queued there.
    connect(fixer.get(), &videoRepair::statusFix, this, &unitFile::statusFix);
    connect(fixer.get(), &videoRepair::statusFixProgress, this, &unitFile::statusFixProgress);
    connect(fixer.get(), &videoRepair::previewPicture, this, &unitFile::previewPicture);
    // A run clears the engine's stop request as it starts; a cancel that came just before
    // is passed on again at the run's first report, on the job's thread.
    connect(
        fixer.get(), &videoRepair::statusFix, fixer.get(),
        [this] {
            if (cancelRequested) fixer->stopFixer();
        },
        Qt::DirectConnection);
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
    cancelRequested = cancel;
    if (cancel) cancelProcesses();
}

void unitFile::cancelProcesses() {
    // Only flags cross threads: the runners see cancelRequested within one poll and kill
    // their child on the job's thread; the engine polls its own stop request.
    cancelRequested = true;
    fixer->stopFixer();
}

QString unitFile::extensionForFormat(const QString& format) { return ::extensionForFormat(format); }

QString unitFile::uniqueOutputName(const QString& folder, const QString& base, const QString& extension) {
    return ::uniqueOutputName(folder, base, extension);
}

QString unitFile::ffmpegPath() { return childProgramPath(ChildProgram::Ffmpeg); }

void unitFile::statusFix(QString inMsg) { emit repairStatusText(quid(), inMsg); }

void unitFile::statusFixProgress(int percent) { emit repairStatus(quid(), percent); }

void unitFile::previewPicture(QImage picture) { emit repairPicture(quid(), picture); }
