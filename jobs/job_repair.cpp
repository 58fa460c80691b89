// The repair phase of a job: reference analysis, repair engine, audio repair and mux. Every
// intermediate (the reference description, the engine's streams, the repaired or encoded
// audio and the repaired file itself) lives in a folder of the job's own inside
// the output folder, so no user file is ever overwritten or read by mistake.
#include <cmath>
#include <memory>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "jobs/background_timeline.h"
#include "jobs/child_programs.h"
#include "jobs/output_names.h"
#include "jobs/output_parsing.h"
#include "jobs/repair_outcome.h"
#include "jobs/stream_mux.h"
#include "jobs/unit_file.h"
#include "jobs/video_information.h"
#include "jobs/work_folder.h"
#include "media/access_codes.h"
#include "media/work_file_names.h"
#include "mp4/diagnostic_log.h"
#include "repair/playback_check.h"
#include "repair/video_repair.h"

extern "C" {
#include <libavutil/error.h>
}

namespace {

QString absolute(const QString& path) { return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath(); }

// PCM and ADPCM sound encoded for the repaired file, beside the engine's audio.
QString encodedAudioPath(const QString& audioPath) { return audioPath.isEmpty() ? audioPath : audioPath + ".m4a"; }

// What the mux does with the engine's audio. The AAC the audio repair re-framed is copied as
// it is; PCM and ADPCM are encoded; a file of at most 16 bytes is left out, as the tool's mux
// always left it.
enum class MuxAudio { None, Copy, Encode };

MuxAudio muxAudioFor(bool isAac, qint64 audioBytes) {
    constexpr qint64 kLeastAudioBytes = 17;
    if (audioBytes < kLeastAudioBytes) return MuxAudio::None;
    return isAac ? MuxAudio::Copy : MuxAudio::Encode;
}

}  // namespace

void unitFile::decideRepair(RepairOutcome outcome) {
    repairOutcome = outcome;
    if (isRepairFailure(outcome)) statusFix(QString::fromLatin1(repairOutcomeText(outcome)));
}

void unitFile::repairFile() {
    statusFix("Fixing...");
    analyseReferenceAndRepair();
    if (cancelRequested) return decideRepair(RepairOutcome::Cancelled);
    if (isRepairFailure(repairOutcome)) return;
    // A mux that reported success but left next to nothing made no file to keep.
    if (fileSizeOrMissing(repairedFilePath) <= 100) {
        removeIfExists(repairedFilePath);
        return decideRepair(RepairOutcome::MuxFailed);
    }
    isRepaired = true;
    outputPath.set(repairedFilePath.toStdString());
    videoInformation probe(repairedFilePath);
    probe.probeNow();
    details.mDuration = probe.lastDuration();
    details.mVideoCodec = probe.lastVideoCodec();
    details.mVideoBitRate = probe.lastVideoBitRate();
}

RepairOutcome unitFile::inputProblem() const {
    // Ordwick and the engine would wait without end on a FIFO given in place of either file.
    const QString source = QString::fromStdString(sourcePath);
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.exists()) return RepairOutcome::SourceMissing;
    if (!isRegularFile(source)) return RepairOutcome::SourceNotRegular;
    if (sourceInfo.size() == 0) return RepairOutcome::SourceEmpty;
    if (!isRegularFile(QString::fromStdString(referencePath))) return RepairOutcome::ReferenceMissing;
    return RepairOutcome::NotRun;
}

void unitFile::analyseReferenceAndRepair() {
    statusFix("Video reference analysis...");
    const RepairOutcome problem = inputProblem();
    if (problem != RepairOutcome::NotRun) return decideRepair(problem);
    repairFolder = saveInSourceFolder ? withTrailingSlash(QFileInfo(QString::fromStdString(sourcePath)).absolutePath())
                                      : savePath;
    QDir().mkpath(repairFolder);
    // Work folders of jobs that were killed before they could clear up after themselves.
    WorkFolder::removeStale(repairFolder);
    workFolder = std::make_unique<WorkFolder>(repairFolder);
    if (!workFolder->isValid()) {
        statusFix("Cannot create a work folder in " + repairFolder);
        workFolder.reset();
        return decideRepair(RepairOutcome::OutputNotWritable);
    }
    const QString work = workFolder->path();
    // A fresh folder per run: a description left by an earlier run can never be read.
    const QString description = joinFolder(work, kReferenceDescriptionFileName);

    referenceProcess.run(childProgramPath(ChildProgram::ReferenceAnalysis),
                         {absolute(QString::fromStdString(referencePath)), kReferenceAccessCode, description});
    if (cancelRequested) return removeTemporaryFiles();

    fixer->setPreviewEnabled(previewShow);
    const int engineResult =
        fixer->startFixer(absolute(QString::fromStdString(sourcePath)), description, withTrailingSlash(work));
    QFile::remove(description);
    if (cancelRequested) return removeTemporaryFiles();
    const RepairOutcome found = judgeEngineRun(engineResult);
    if (isRepairFailure(found)) {
        // The output paths may still be those of an earlier run: nothing here is worth a mux.
        removeTemporaryFiles();
        return decideRepair(found);
    }

    // The mux's first walk over the video needs nothing from the audio: it runs meanwhile, and
    // is stopped and waited for before any of the files it may read is removed.
    auto firstPass = std::make_unique<BackgroundTimeline>(fixer->videoOutputPath, cancelRequested);
    if (fixer->isAac && QFileInfo::exists(fixer->audioOutputPath)) {
        repairAudio(fixer->audioOutputPath);
        QFile::remove(fixer->audioOutputPath);
        fixer->audioOutputPath += kCheckedAudioSuffix;
    }
    if (!cancelRequested) muxRepairedStreams(*firstPass);
    firstPass.reset();
    if (cancelRequested) removeTemporaryFiles();
}

RepairOutcome unitFile::judgeEngineRun(int engineResult) {
    const RepairOutcome engine = engineOutcome(engineResult, fixer->outputError);
    if (isRepairFailure(engine)) return engine;
    // Success is a file that plays: pictures cut with parameter sets they were not made with
    // would be muxed into one that shows nothing but errors.
    statusFix("Checking the pictures...");
    if (!checkFirstPictures(fixer->videoOutputPath, fixer->isHevc).plays()) return RepairOutcome::ReferenceDoesNotFit;
    return engine;
}

void unitFile::removeTemporaryFiles() {
    removeIfExists(fixer->audioOutputPath);
    removeIfExists(fixer->videoOutputPath);
    removeIfExists(encodedAudioPath(fixer->audioOutputPath));
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
    if (!result.succeeded()) removeIfExists(audioPath + kCheckedAudioSuffix);
}

void unitFile::muxRepairedStreams(BackgroundTimeline& firstPass) {
    statusFix("Muxing Audio Video...");
    const QString video = fixer->videoOutputPath;
    const QString audio = fixer->audioOutputPath;
    repairedFilePath = joinFolder(QFileInfo(video).absolutePath(),
                                  baseUpToFirstDot(QString::fromStdString(sourcePath)) + "_fix.mp4");
    const QString encoded = encodedAudioPath(audio);
    auto dropStreams = [&] {
        firstPass.stop();
        removeIfExists(video);
        removeIfExists(audio);
        removeIfExists(encoded);
    };
    const float fps = fixer->fps_num / fixer->fps_den;
    if (!std::isfinite(fps) || fps <= 0) {
        statusFix("Muxing skipped: the reference gives no frame rate");
        dropStreams();
        return decideRepair(RepairOutcome::NoFrameRate);
    }

    statusFixProgress(0);
    const MuxSources sources = muxSourcesFor(video, audio, encoded);
    if (cancelRequested) return dropStreams();
    const MuxResult result = muxWithProgress(firstPass, sources);
    statusFixProgress(100);
    dropStreams();
    if (cancelRequested) return;
    if (!result.outcome) {
        // A mux that did not end well may leave a file that only looks usable.
        removeIfExists(repairedFilePath);
        return decideRepair(result.writeError < 0 ? writeFailure(AVUNERROR(result.writeError))
                                                  : RepairOutcome::MuxFailed);
    }
    // The pictures are back; when the reference has sound and none of it reached the file (the
    // re-framer refused it, the mux could not read it), the repair is not a whole one.
    decideRepair(fixer->referenceHasAudio && result.audioPackets == 0 ? RepairOutcome::RepairedWithoutSound
                                                                      : RepairOutcome::Repaired);
}

MuxSources unitFile::muxSourcesFor(const QString& video, const QString& audio, const QString& encoded) {
    MuxSources sources;
    sources.video = video;
    sources.frameRateNum = fixer->fps_num;
    sources.frameRateDen = fixer->fps_den;
    switch (muxAudioFor(fixer->isAac, fileSizeOrMissing(audio))) {
    case MuxAudio::None:
        break;
    case MuxAudio::Copy:
        sources.audio = audio;
        break;
    case MuxAudio::Encode:
        // Pictures with sound that does not play is still a repair: without the encoded audio
        // the file has the pictures alone.
        if (encodeAudio(audio, encoded)) sources.audio = encoded;
        break;
    }
    return sources;
}

MuxResult unitFile::muxWithProgress(BackgroundTimeline& firstPass, const MuxSources& sources) {
    long long lastSecond = -1;
    auto observer = [&](const MuxProgress& progress) {
        if (cancelRequested) return false;
        const long long second = static_cast<long long>(progress.seconds);
        if (second > lastSecond) {
            lastSecond = second;
            statusFix(QString::fromStdString(muxStatusText(progress.seconds, progress.frames)));
        }
        return true;
    };
    StreamTimeline timeline;
    MuxResult result;
    result.outcome = firstPass.take(timeline);
    if (result.outcome) result = muxStreams(sources, timeline, repairedFilePath, "mp4", observer);
    if (!result.audio) logDiagnostic("audio left out of the mux: " + result.audio.reason());
    if (!result.outcome) logDiagnostic("mux failed: " + result.outcome.reason());
    return result;
}

bool unitFile::encodeAudio(const QString& audio, const QString& encoded) {
    // Only the sound goes through the tool: the pictures are muxed as they are, by this job.
    const QStringList arguments{"-i", audio, "-vn", "-c:a", "aac", "-f", "mp4", "-y", encoded};
    QStringList lines;
    const ChildResult result = muxProcess.run(ffmpegPath(), arguments, [&](const std::string& line) {
        lines << QString::fromStdString(line);
        parseDurationLine(line, totalTime);
        std::string status;
        if (muxStatusText(line, status)) statusFix(QString::fromStdString(status));
    });
    logDiagnostic(lines.join('\n').toStdString());
    if (result.succeeded() && fileSizeOrMissing(encoded) > 0) return true;
    removeIfExists(encoded);
    return false;
}
