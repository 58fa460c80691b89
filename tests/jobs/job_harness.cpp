#include "tests/jobs/job_harness.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
#include <QUuid>

#include <algorithm>

#include "jobs/settings.h"
#include "jobs/video_information.h"
#include "tests/support/test_process.h"

namespace jobtest {

QString writeScript(const testsupport::TempDir& dir, const std::string& name, const std::string& body) {
    const std::string path = dir.file(name);
    testsupport::writeFile(path, "#!/bin/sh\n" + body);
    QFile::setPermissions(QString::fromStdString(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return QString::fromStdString(path);
}

std::string realFfmpeg() { return QStandardPaths::findExecutable("ffmpeg").toStdString(); }

ProgramOverride::ProgramOverride(ChildProgram program, const QString& path) : program_(program) {
    setChildProgramOverride(program, path);
}
ProgramOverride::~ProgramOverride() { setChildProgramOverride(program_, QString()); }

RealHelperPrograms::RealHelperPrograms()
    : ordwick_(ChildProgram::ReferenceAnalysis, QString::fromStdString(testsupport::programPath("Ordwick"))),
      brannoc_(ChildProgram::AudioRepair, QString::fromStdString(testsupport::programPath("Brannoc"))) {}

namespace {
const char* const kJobKeys[] = {settingsKeys::SavePath, settingsKeys::GeneralFormatOutput, settingsKeys::referenceFile,
                                settingsKeys::saveInFileDirectory};
}  // namespace

ScopedSettings::ScopedSettings(const std::string& outputFolder, const std::string& format, const std::string& reference,
                               bool saveInSourceFolder) {
    clsSettings settings;
    settings.setValue(settingsKeys::SavePath, QString::fromStdString(outputFolder));
    settings.setValue(settingsKeys::GeneralFormatOutput, QString::fromStdString(format));
    settings.setValue(settingsKeys::referenceFile, QString::fromStdString(reference));
    settings.setValue(settingsKeys::saveInFileDirectory, saveInSourceFolder ? "true" : "false");
}

ScopedSettings::~ScopedSettings() {
    QSettings store(kSettingsOrganisation, kSettingsApplication);
    for (const char* key : kJobKeys) store.remove(key);
}

std::unique_ptr<unitFile> makeJob(const std::string& source, bool repair) {
    auto job = std::make_unique<unitFile>();
    videoDetails d;
    videoInformation::readFileInfo(QString::fromStdString(source), d);
    job->setVideoDetails(d.mNBStreams, d.mDuration, d.mDurationFormated, d.mBitrate, d.mVideoCodec, d.mVideoWidth,
                         d.mVideoHeight, d.mVideoBitRate, d.mAudioCodec, d.mVideoframerate, d.mAudioSampleRate,
                         d.mAudioChannels, d.mAudioBitRate, d.mFileInformationResumed);
    job->fileName = QFileInfo(QString::fromStdString(source)).fileName().toStdString();
    job->sourcePath = source;
    job->uid = QUuid::createUuid().toString().toStdString();
    job->isRepair = repair;
    return job;
}

RunRecord runJob(unitFile& job, const std::string& cancelOn, double* cancelSeconds, int timeoutMs) {
    RunRecord record;
    QEventLoop loop;
    QElapsedTimer timer, sinceCancel;
    timer.start();
    bool cancelled = false;
    const QString uid = QString::fromStdString(job.uid);
    // Receivers live on this (the GUI) thread, as the window's slots do: every signal arrives queued.
    QObject context;
    auto note = [&](const QString& id, const std::string& event) {
        if (id != uid) record.uidsMatch = false;
        record.events.push_back(event);
        if (!cancelled && !cancelOn.empty() && event == cancelOn) {
            cancelled = true;
            sinceCancel.start();
            job.setCancel(true);
        }
    };
    QObject::connect(&job, &unitFile::startDownload, &context, [&](QString id) { note(id, "startDownload"); });
    QObject::connect(&job, &unitFile::endRepair, &context, [&](QString id) { note(id, "endRepair"); });
    QObject::connect(&job, &unitFile::startConvert, &context, [&](QString id) { note(id, "startConvert"); });
    QObject::connect(&job, &unitFile::progressConvert, &context,
                     [&](QString id, int, int, int, int) { note(id, "progressConvert"); });
    QObject::connect(&job, &unitFile::repairStatusText, &context,
                     [&](QString id, QString text) { note(id, "text:" + text.toStdString()); });
    QObject::connect(&job, &unitFile::endConvert, &context, [&](QString id, int status) {
        record.endStatuses.push_back(status);
        note(id, "endConvert");
    });
    QObject::connect(&job, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    record.finished = job.wait(1000);
    // Signals still queued behind the end.
    QCoreApplication::processEvents();
    record.seconds = timer.elapsed() / 1000.0;
    if (cancelSeconds) *cancelSeconds = cancelled ? sinceCancel.elapsed() / 1000.0 : -1;
    return record;
}

std::vector<std::string> listFolder(const std::string& folder) {
    std::vector<std::string> entries;
    const QDir root(QString::fromStdString(folder));
    QDirIterator it(root.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) entries.push_back(root.relativeFilePath(it.next()).toStdString());
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace jobtest
