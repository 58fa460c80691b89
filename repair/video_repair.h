#pragma once
// The repair engine: one object per job. startFixer turns a damaged camera file and the
// reference description of a healthy one into a raw H.264/H.265 stream and an audio file.
#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "reference/records.h"

struct RepairRun;
struct RunFiles;
enum class ScanEnd;
class livePreview;

class videoRepair : public QObject {
    Q_OBJECT

public:
    // startFixer results. 0 covers every normal end (finished, stopped, data exhausted).
    static constexpr int kFinished = 0;
    // The reference description is unreadable (missing, not well-formed, cut short, values no
    // audio format has), gave no track, or its header text is unusable.
    static constexpr int kNoTrackRecord = -1;
    static constexpr int kSourceUnreadable = -2;    // the damaged file cannot be opened or read
    // The two outputs; outputError tells why (ENOSPC for a full disk, EACCES ...).
    static constexpr int kVideoOutputFailed = -3;   // out-video.h264 cannot be opened or written
    static constexpr int kAudioOutputFailed = -4;   // the audio output cannot be opened or written
    // The scan ended on the data's end without a picture: nothing in the file reads as the
    // reference's video (random bytes, another codec, a reference of other settings).
    static constexpr int kNoVideoFound = -5;
    // The scan gave up: hundreds of MiB of sound or unrecognised data, next to no video.
    static constexpr int kAudioWithoutVideo = -6;
    // The run raised a failure of its own (memory above all); files closed, results set.
    static constexpr int kRunFailed = -7;
    // The reference has tracks but no video track: there is nothing to recover pictures by.
    static constexpr int kNoVideoTrack = -8;

    static constexpr std::int64_t kDefaultChunkBytes = 100000000;

    // Stopped by stopFixer alone.
    videoRepair();
    // Stopped by `cancel`, the owner's flag (a job's cancel), which outlives the engine. The
    // engine only reads it: a cancel set before a run, or while the run is getting ready,
    // still stops it, and only the owner clears it.
    explicit videoRepair(const std::atomic<bool>& cancel);
    ~videoRepair() override;

    void setPreviewEnabled(bool enabled);
    void setPreviewSelected(bool selected);
    // For an engine made without a flag of its owner's: asks the run under way, or the next one,
    // to end at its next scan position; the run still finishes normally. The request belongs
    // to the run it stopped and is gone when that run returns.
    void stopFixer();
    // The flag the scan polls is set.
    bool stopRequested() const { return stop_.load(); }

    int startFixer(QString source, QString referencePath, QString outputFolder);

    // Reads the reference description into the run's records and deletes the file; false when
    // it could not be read whole. Outside a run the preset name it reads goes nowhere.
    bool readVideoPreset(const QString& path, AnalysisResult& result, MediaInfo& media);

    // Size of the scan's read buffer; tests choose small ones to cut packets at chunk ends.
    void setChunkBytes(std::int64_t bytes);
    std::int64_t chunkBytes() const { return chunkBytes_; }

    // The current (or last) run's state, for inspection after startFixer; null before any run.
    const RepairRun* lastRun() const { return run_.get(); }

    // Results, read by the job after startFixer returns.
    QString sourcePath;
    QString videoOutputPath;
    QString audioOutputPath;
    float fps_den = 0;
    float fps_num = 0;
    bool isAac = false;
    // The stream is H.265 (else H.264), and the reference has a sound track: what the job
    // checks the result against.
    bool isHevc = false;
    bool referenceHasAudio = false;
    // The system's error number behind kVideoOutputFailed or kAudioOutputFailed; 0 otherwise.
    int outputError = 0;
    std::atomic<bool> previewEnabled{false};
    std::atomic<bool> previewSelected{true};

signals:
    void statusFix(QString status);
    void statusFixProgress(int percent);
    // A live preview picture ("Repair..." on a small frame of what the scan took), emitted on the
    // preview's decoding thread while the preview is enabled and selected; never after
    // startFixer returned. Only the image crosses threads: receivers on the GUI thread get it
    // queued and decide there whether to show it.
    void previewPicture(QImage picture);

private:
    int run(const QString& source, const QString& referencePath, const QString& outputFolder);
    // The steps of a run; each returns kFinished to go on, or the run's result after closing
    // what it opened.
    int openFiles(const QString& source, bool readWhole, const RunFiles& files);
    int writeHeaders(const RunFiles& files, std::string& parameterSets);
    int checkTracks(const RunFiles& files);
    ScanEnd scan();
    int finish(ScanEnd end, const RunFiles& files, std::int64_t headerEnd);
    // Closes the run's files (and removes its outputs when asked) and returns `result`.
    int abandon(const RunFiles& files, int result, bool removeOutputs = false);
    void setResults(const QString& videoPath, const QString& audioPath);
    // Notes why the output of `result` (kVideoOutputFailed or kAudioOutputFailed) failed.
    int outputFailed(int result);

    std::atomic<bool> ownStop_{false};
    const std::atomic<bool>& stop_;
    std::unique_ptr<RepairRun> run_;
    std::unique_ptr<livePreview> preview_;
    std::int64_t chunkBytes_ = kDefaultChunkBytes;
};
