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
#include <filesystem>
#include <sstream>

#include "jobs/settings.h"
#include "jobs/video_information.h"
#include "tests/support/clip_packets.h"
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
    job->setVideoDetails(d);
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

RecordingJob runRecordingJob(const testsupport::RecordingCase& c, const testsupport::TempDir& dir) {
    RecordingJob r;
    r.clips = testsupport::damagedRecording(c, dir);
    if (r.clips.damaged.empty()) return r;
    const std::string outputFolder = dir.file("output");
    QDir().mkpath(QString::fromStdString(outputFolder));
    QDir().mkpath(QString::fromStdString(dir.file("source")));
    const bool mov = c.settings.container == testsupport::Container::Mov;
    const std::string source = dir.file("source") + (mov ? "/take.MOV" : "/take.mp4");
    std::error_code ec;
    std::filesystem::copy_file(r.clips.damaged, source, ec);
    EXPECT_FALSE(ec) << ec.message();
    RealHelperPrograms helpers;
    const ScopedSettings settings(outputFolder + "/", "none", r.clips.reference);
    r.job = makeJob(source, true);
    r.run = runJob(*r.job, {}, nullptr, 120000);
    if (!r.run.finished) {
        // Past the time limit: cancelled as the window does, so that no child program outlives
        // the test and the thread has ended before the job goes.
        r.job->setCancel(true);
        r.job->wait();
    }
    return r;
}

std::size_t wholePacketsBefore(const std::string& recording, std::int64_t cut, bool audio) {
    std::size_t whole = 0;
    for (const clippackets::MediaPacket& p : clippackets::packetsOf(recording))
        whole += p.audio == audio && p.pos + p.size <= cut;
    return whole;
}

StreamDetails probeStream(const std::string& path, const std::string& kind) {
    const testsupport::ProcessResult r =
        testsupport::runProcess({"ffprobe", "-v", "error", "-select_streams", kind + ":0", "-show_entries",
                                 "stream=codec_name,duration", "-of", "default=nw=1:nk=1", path});
    std::istringstream out(r.out);
    StreamDetails s;
    std::string seconds;
    std::getline(out, s.codec);
    std::getline(out, seconds);
    s.seconds = seconds.empty() || seconds == "N/A" ? 0 : std::stod(seconds);
    return s;
}

}  // namespace jobtest
