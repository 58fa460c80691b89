// The repair phase of a job: reference analysis, repair engine, audio repair and mux. Every
// intermediate (the reference description, the engine's streams, the repaired audio, the
// timestamped copy and the repaired file itself) lives in a folder of the job's own inside
// the output folder, so no user file is ever overwritten or read by mistake.
#include <cmath>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "jobs/child_programs.h"
#include "jobs/output_names.h"
#include "jobs/output_parsing.h"
#include "jobs/timestamped_stream.h"
#include "jobs/unit_file.h"
#include "jobs/video_information.h"
#include "jobs/work_folder.h"
#include "repair/video_repair.h"

namespace {

QString absolute(const QString& path) { return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath(); }

// Beside the engine's stream; the mux reads it in place of the bare stream.
QString timestampedCopyPath(const QString& videoPath) { return videoPath + ".ts"; }

}  // namespace

void unitFile::repairFile() {
    statusFix("Fixing...");
    analyseReferenceAndRepair();
    if (cancelRequested) return;
    if (fileSizeOrMissing(repairedFilePath) <= 100) return;
    isRepaired = true;
    outputPath.set(repairedFilePath.toStdString());
    videoInformation probe(repairedFilePath);
    probe.probeNow();
    mDuration = probe.lastDetails().mDuration;
    mVideoCodec = probe.lastDetails().mVideoCodec;
    mVideoBitRate = probe.lastDetails().mVideoBitRate;
}

void unitFile::analyseReferenceAndRepair() {
    statusFix("Video reference analysis...");
    // Ordwick and the engine would wait without end on a FIFO given in place of either file.
    if (!isRegularFile(QString::fromStdString(sourcePath)))
        return statusFix("The damaged file is missing or not a regular file");
    if (!isRegularFile(QString::fromStdString(referencePath)))
        return statusFix("The reference is missing or not a regular file");
    repairFolder = saveInSourceFolder ? withTrailingSlash(QFileInfo(QString::fromStdString(sourcePath)).absolutePath())
                                      : savePath;
    QDir().mkpath(repairFolder);
    // Work folders of jobs that were killed before they could clear up after themselves.
    WorkFolder::removeStale(repairFolder);
    workFolder = std::make_unique<WorkFolder>(repairFolder);
    if (!workFolder->isValid()) {
        statusFix("Cannot create a work folder in " + repairFolder);
        workFolder.reset();
        return;
    }
    const QString work = workFolder->path();
    // A fresh folder per run: a description left by an earlier run can never be read.
    const QString description = joinFolder(work, "ref.xml");

    referenceProcess.run(childProgramPath(ChildProgram::ReferenceAnalysis),
                         {absolute(QString::fromStdString(referencePath)), kReferenceAccessCode, description});
    if (cancelRequested) return removeTemporaryFiles();

    fixer->setPreviewEnabled(previewShow);
    const int engineResult =
        fixer->startFixer(absolute(QString::fromStdString(sourcePath)), description, withTrailingSlash(work));
    QFile::remove(description);
    if (cancelRequested) return removeTemporaryFiles();
    if (engineResult < 0) {
        // The output paths may still be those of an earlier run: nothing here is worth a mux.
        statusFix("Repair failed (" + QString::number(engineResult) + ")");
        return removeTemporaryFiles();
    }

    if (fixer->isAac && QFileInfo::exists(fixer->audioOutputPath)) {
        repairAudio(fixer->audioOutputPath);
        QFile::remove(fixer->audioOutputPath);
        fixer->audioOutputPath += "-checked.aac";
    }
    if (cancelRequested) return removeTemporaryFiles();
    muxRepairedStreams();
    if (cancelRequested) removeTemporaryFiles();
}

void unitFile::removeTemporaryFiles() {
    removeIfExists(fixer->audioOutputPath);
    removeIfExists(fixer->videoOutputPath);
    if (!fixer->videoOutputPath.isEmpty()) removeIfExists(timestampedCopyPath(fixer->videoOutputPath));
    removeIfExists(repairedFilePath);
}

void unitFile::repairAudio(const QString& audioPath) {
    statusFix("Audio repair...");
    const ChildResult result = audioRepairProcess.run(
        childProgramPath(ChildProgram::AudioRepair), {absolute(audioPath), kAudioRepairAccessCode},
        [this](const std::string& line) {
            int percent = 0;
            if (parseAudioRepairProgress(line, percent)) statusFixProgress(percent);
        });
    // A failed repair leaves no audio worth muxing.
    if (!result.succeeded()) removeIfExists(audioPath + "-checked.aac");
}

void unitFile::muxRepairedStreams() {
    statusFix("Muxing Audio Video...");
    const QString video = fixer->videoOutputPath;
    const QString audio = fixer->audioOutputPath;
    repairedFilePath = joinFolder(QFileInfo(video).absolutePath(),
                                  baseUpToFirstDot(QString::fromStdString(sourcePath)) + "_fix.mp4");
    auto dropStreams = [&] {
        removeIfExists(video);
        removeIfExists(audio);
        removeIfExists(timestampedCopyPath(video));
    };
    const float fps = fixer->fps_num / fixer->fps_den;
    if (!std::isfinite(fps) || fps <= 0) {
        statusFix("Muxing skipped: the reference gives no frame rate");
        dropStreams();
        return;
    }

    // With B-frames a bare stream would be stamped in decode order; the copy carries the
    // pictures' presentation times. A stream the copy cannot read is muxed bare.
    QString videoInput = video;
    const TimestampedStreamResult stamped = writeTimestampedStream(video, fps, timestampedCopyPath(video));
    if (stamped.ok)
        videoInput = timestampedCopyPath(video);
    else
        qDebug() << "timestamped copy failed:" << QString::fromStdString(stamped.error);

    QStringList arguments{"-r", QString::number(fps, 'g', 6), "-i", videoInput};
    if (fileSizeOrMissing(audio) > 16) arguments << "-i" << audio;
    arguments << "-c:v" << "copy" << "-y" << repairedFilePath;

    statusFixProgress(0);
    QStringList lines;
    const ChildResult result = muxProcess.run(ffmpegPath(), arguments, [&](const std::string& line) {
        lines << QString::fromStdString(line);
        parseDurationLine(line, totalTime);
        std::string status;
        if (muxStatusText(line, status)) statusFix(QString::fromStdString(status));
    });
    qDebug().noquote() << lines.join('\n');
    statusFixProgress(100);
    // A mux that did not end well may leave a file that only looks usable.
    if (!result.succeeded() || fileSizeOrMissing(repairedFilePath) == 0) removeIfExists(repairedFilePath);
    dropStreams();
}
