// The body of a job's thread: the repair phase when asked for, then the conversion phase,
// reported through the job's signals.
#include <QDir>
#include <QFileInfo>

#include "jobs/conversion_arguments.h"
#include "jobs/output_names.h"
#include "jobs/output_parsing.h"
#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "jobs/work_folder.h"

namespace {

constexpr qint64 kMinimumConversionBytes = 3000;
constexpr const char* kDefaultFormat = "AVI";

}  // namespace

void unitFile::run() {
    // cancelRequested is left alone: only the window's reset clears it, so a cancel that
    // came before this run reached a step still ends it.
    status = kStatusOk;
    isRepaired = false;
    repairOutcome = RepairOutcome::NotRun;
    isRunning = true;
    conversionLog.set({});
    hwRetryDone = false;
    repairedFilePath.clear();
    conversionOutput.set({});
    // The last run's result is no file of this run: until the repair makes one, the window
    // has nothing of this run to preview.
    outputPath.set({});

    QString format;
    {
        clsSettings settings;
        savePath = settings.value(settingsKeys::SavePath).toString();
        if (savePath.isEmpty()) savePath = withTrailingSlash(clsSettings::moviesOutputFolder());
        format = settings.value(settingsKeys::GeneralFormatOutput).toString();
        if (format.isEmpty()) format = kDefaultFormat;
        saveInSourceFolder = settingIsTrue(settings.value(settingsKeys::saveInFileDirectory));
        referencePath = settings.value(settingsKeys::referenceFile).toString().toStdString();
    }

    if (isRepair) {
        emit startDownload(quid());
        repairFile();
        emit endRepair(quid());
    }

    statusFix("Prepare conversion...");
    isConverting = true;
    emit startConvert(quid());
    if (cancelRequested)
        status = kStatusCancelled;
    else if (isRepair && isRepairFailure(repairOutcome))
        refuseConversion();
    else
        convert(format);
    finishRun();
}

void unitFile::refuseConversion() {
    // The damaged file is what failed to repair: converting it as it is would only add the
    // tool's complaints about it ("moov atom not found") to the log, pointing away from the
    // cause, and no converted file could be the repair that was asked for.
    status = kStatusRepairFailed;
    conversionLog.set(std::string("No conversion: the repair failed. ") + repairOutcomeText(repairOutcome) + "\n");
}

void unitFile::convert(const QString& format) {
    if (extensionForFormat(format).isEmpty()) {
        conversionLog.append("No conversion\n");
        emit progressConvert(quid(), 1, 1, 100, 100);
        conversionOutput.set({});
        return;
    }
    const QString input = isRepaired ? QString::fromStdString(outputPath.get()) : QString::fromStdString(sourcePath);
    // The tool would wait without end on a FIFO given as the file to convert.
    if (!isRegularFile(input)) {
        status = kStatusConversionError;
        return;
    }
    // Beside the user's source, never in the job's work folder where a repaired input lies.
    const QString folder =
        saveInSourceFolder ? withTrailingSlash(QFileInfo(QString::fromStdString(sourcePath)).absolutePath()) : savePath;
    QDir().mkpath(folder);
    // Claimed before the tool runs: its "-y" then only ever replaces the empty file this job made,
    // and another job converting the same source into this folder takes the next name.
    const QString output =
        reserveOutputName(folder, baseUpToLastDot(input) + "_conv", conversionExtension(format, input));
    if (output.isEmpty()) {
        status = kStatusConversionError;
        return;
    }
    conversionOutput.set(output.toStdString());

    while (convertOnce(input, output, format)) {
    }
    if (cancelRequested) {
        status = kStatusCancelled;
        removeIfExists(output);
    }
    if (status == kStatusOk) emit progressConvert(quid(), 1, 1, 100, 100);
}

bool unitFile::convertOnce(const QString& input, const QString& output, const QString& format) {
    conversionLog.set({});
    const QStringList arguments = buildConversionArguments(input, output, format);
    std::string commandLine;
    for (const QString& argument : arguments) commandLine += argument.toStdString() + " ";
    conversionLog.append(commandLine + "\n\n");

    ChildProcessRunner runner(cancelRequested);
    const ChildResult result = runner.run(ffmpegPath(), arguments, [this](const std::string& line) {
        conversionLog.append(line + "\n");
        parseDurationLine(line, totalTime);
        ConversionProgress progress;
        if (parseConversionProgress(line, progress))
            emit progressConvert(quid(), progress.fps, progress.frame, progress.time, totalTime);
    });
    if (result.cancelled) return false;

    if (reportsEncoderFailure(conversionLog.get())) {
        if (!hwRetryDone) {
            hwRetryDone = true;
            if (markFailedEncoder(arguments, hardwareEncoders)) return true;
        }
        status = kStatusConversionError;
        removeIfExists(output);
        return false;
    }
    // The tool must have ended by itself with code 0, besides leaving a file of some size.
    if (!result.succeeded() || fileSizeOrMissing(output) <= kMinimumConversionBytes) {
        status = kStatusConversionError;
        removeIfExists(output);
    } else {
        status = kStatusOk;
    }
    return false;
}

QString unitFile::keepRepairedFile() {
    // The work folder lies inside the repair folder, so this is a rename onto a name claimed first.
    return moveToFreeName(repairedFilePath, repairFolder, baseUpToLastDot(repairedFilePath), ".mp4");
}

void unitFile::clearWorkFolder() {
    if (workFolder) removeTemporaryFiles();
    workFolder.reset();  // removes the folder with whatever is left in it
}

void unitFile::finishRun() {
    // The repaired file goes only when a conversion made the result from it; after a failed
    // conversion, or when the format converts nothing, it is the job's result. A cancelled
    // job leaves nothing.
    QString result;
    const QString converted = QString::fromStdString(conversionOutput.get());
    if (status == kStatusOk && !converted.isEmpty())
        result = converted;
    else if (status != kStatusCancelled && isRepaired) {
        result = keepRepairedFile();
        if (result.isEmpty()) decideRepair(RepairOutcome::OutputNotWritable);
    }
    // A repair job that leaves no file has failed, even where its format converts nothing and
    // the conversion phase had nothing to report.
    if (isRepair && status == kStatusOk && result.isEmpty()) status = kStatusRepairFailed;
    clearWorkFolder();

    outputPath.set(result.toStdString());
    isConverting = false;
    isRunning = false;
    isDone = true;
    emit endConvert(quid(), status);
}

void unitFile::probeHardwareEncoders() {
    ChildProcessRunner runner(cancelRequested);
    ::probeHardwareEncoders(runner, ffmpegPath(), hardwareEncoders);
}

namespace {
ConversionContext makeContext(unitFile& job, const QString& format) {
    clsSettings settings;
    ConversionContext context;
    context.preset = *settings.loadPreset(format);
    context.rotation = settings.value(settingsKeys::GeneralRotation).toString();
    context.sourceVideoCodec = job.details.mVideoCodec;
    context.sourceVideoBitRate = job.details.mVideoBitRate;
    context.encoders = &job.hardwareEncoders;
    context.probeEncoders = [&job] { job.probeHardwareEncoders(); };
    return context;
}
}  // namespace

QStringList unitFile::encoderForCodec(const QString& codecName) {
    ConversionContext context = makeContext(*this, QString());
    return ::encoderForCodec(codecName, context);
}

QStringList unitFile::buildConversionArguments(const QString& input, const QString& output, const QString& format) {
    ConversionContext context = makeContext(*this, format);
    return ::buildConversionArguments(input, output, format, context);
}
