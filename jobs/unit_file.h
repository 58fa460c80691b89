#pragma once
// One job: one listed video with everything needed to repair and convert it, and the thread
// that does the work (run, in job_run.cpp and job_repair.cpp). The window writes the job's
// identity and stream details while it is not running and reads its state at any time: the
// flags it shares are atomic, the texts it shares are read as copies under a lock.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include <QImage>
#include <QString>
#include <QStringList>
#include <QThread>

#include "jobs/child_process.h"
#include "jobs/hardware_encoders.h"
#include "jobs/repair_outcome.h"
#include "jobs/video_details.h"

class BackgroundTimeline;
struct MuxResult;
struct MuxSources;
class WorkFolder;
class videoRepair;

// A text one thread writes while another reads it: every read is a consistent copy.
class SharedText {
public:
    std::string get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }
    void set(std::string text) {
        std::lock_guard<std::mutex> lock(mutex_);
        text_ = std::move(text);
    }
    void append(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        text_ += text;
    }
    bool contains(const char* text) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_.find(text) != std::string::npos;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

class unitFile : public QThread {
    Q_OBJECT

public:
    static constexpr int kStatusOk = 0;
    static constexpr int kStatusCancelled = 42;
    static constexpr int kStatusConversionError = 102;
    // A repair job that left no file. The window shows its repair failure text for every status
    // of a repair job but 0 and 42, so the job keeps to the failure code the window knows.
    static constexpr int kStatusRepairFailed = kStatusConversionError;

    unitFile();
    ~unitFile() override;

    std::string fileName;
    std::string sourcePath;
    SharedText outputPath;  // the repaired file after the repair phase, the job's result after the run
    std::string uid;
    bool isUsable = true;
    std::atomic<bool> cancelRequested{false};
    std::atomic<bool> isDone{false};
    std::atomic<bool> isConverting{false};
    std::atomic<bool> isRunning{false};
    bool isRepair = false;
    SharedText conversionOutput;  // the converted file's path (UTF-8), once the conversion phase named it
    SharedText conversionLog;
    int totalTime = 0;
    int status = 0;

    // What the window's probe found in the source; the repair replaces the duration, codec and
    // bit rate with the repaired file's.
    videoDetails details;

    // The hardware encoders, shared with the argument builder; the three names below are views of it.
    HardwareEncoderState hardwareEncoders;
    bool (&encoderListed)[kHardwareEncoderCount] = hardwareEncoders.listed;
    bool (&encoderFailed)[kHardwareEncoderCount] = hardwareEncoders.failed;
    bool& encodersProbed = hardwareEncoders.probed;

    std::atomic<bool> previewShow{false};
    std::string referencePath;
    bool isRepaired = false;
    // How this run's repair phase ended: set through decideRepair on the job's thread (by the
    // repair, and at the end when the repaired file cannot be kept) before isDone is set, read
    // by the window once it sees isDone.
    std::atomic<RepairOutcome> repairOutcome{RepairOutcome::NotRun};
    bool hwRetryDone = false;

    // The runners of the three children a cancel must reach. Each makes its process on the
    // job's thread and kills it within a poll once cancelRequested is set, so no process
    // object is ever touched by the GUI thread.
    ChildProcessRunner audioRepairProcess{cancelRequested};
    ChildProcessRunner referenceProcess{cancelRequested};
    ChildProcessRunner muxProcess{cancelRequested};

    std::unique_ptr<videoRepair> fixer;
    QString repairedFilePath;
    QString repairFolder;  // the user-visible output folder of the repair
    bool saveInSourceFolder = false;
    QString savePath;

    // GUI thread, while the job is not running.
    void setVideoDetails(const videoDetails& probed);
    // GUI thread, at any time.
    void setPreviewShow(bool show);
    void setSelected(bool selected);
    // false is the window's reset, the only thing that clears a cancel; true cancels.
    void setCancel(bool cancel);
    void cancelProcesses();

    static QString extensionForFormat(const QString& format);
    static QString uniqueOutputName(const QString& folder, const QString& base, const QString& extension);
    static QString ffmpegPath();

    // Job thread.
    void repairFile();
    void analyseReferenceAndRepair();
    void removeTemporaryFiles();
    void repairAudio(const QString& audioPath);
    // `firstPass` is the mux's first walk over the engine's video, started beside the audio repair.
    // Decides the repair's outcome from how the mux went.
    void muxRepairedStreams(BackgroundTimeline& firstPass);
    // PCM or ADPCM sound encoded to AAC in an MP4 with the ffmpeg tool, for the mux; false
    // (leaving no file) when the tool made nothing.
    bool encodeAudio(const QString& audio, const QString& encoded);
    void probeHardwareEncoders();
    QStringList encoderForCodec(const QString& codecName);
    QStringList buildConversionArguments(const QString& input, const QString& output, const QString& format);

signals:
    void startDownload(QString uid);
    void startConvert(QString uid);
    void endConvert(QString uid, int status);
    void progressConvert(QString uid, int intFPS, int intFRAME, int intTIME, int totalTime);
    void repairStatusText(QString uid, QString status);
    void repairStatus(QString uid, int percent);
    void endRepair(QString uid);
    // The repair engine's live preview picture; the window decides whether its row is shown.
    void repairPicture(QString uid, QImage picture);

public slots:
    void statusFix(QString inMsg);
    void statusFixProgress(int percent);
    void previewPicture(QImage picture);

protected:
    void run() override;

private:
    QString quid() const { return QString::fromStdString(uid); }
    // Sets the repair phase's outcome; a failure's cause is reported as the status line too.
    void decideRepair(RepairOutcome outcome);
    // The cause that keeps the damaged file or the reference from being repaired or read at
    // all; NotRun when both can be tried.
    RepairOutcome inputProblem() const;
    // The engine's result and the first pictures of its stream, before anything is muxed.
    RepairOutcome judgeEngineRun(int engineResult);
    // What the mux takes: the engine's video and its sound as it is, encoded, or none.
    MuxSources muxSourcesFor(const QString& video, const QString& audio, const QString& encoded);
    // The mux into repairedFilePath, its progress on the row; a cancel stops it.
    MuxResult muxWithProgress(BackgroundTimeline& firstPass, const MuxSources& sources);
    // Conversion phase, steps of run().
    void convert(const QString& format);
    // One attempt; true when it failed with a hardware encoder and is to be repeated.
    bool convertOnce(const QString& input, const QString& output, const QString& format);
    // Instead of the conversion after a failed repair: the failure and its cause.
    void refuseConversion();
    // End of the run: decides which file is the job's result and clears the work folder.
    void finishRun();
    // Moves the repaired file out of the work folder next to the user's files.
    QString keepRepairedFile();
    void clearWorkFolder();

    // The job's own folder for intermediates, inside the output folder; made per repair.
    std::unique_ptr<WorkFolder> workFolder;
};
