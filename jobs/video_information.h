#pragma once
// Reads the stream details of files through the FFmpeg libraries, as a thread over a batch
// of files (one FoundVideoDetails per file) or synchronously for one file (probeNow).
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>

#include "jobs/video_details.h"

class videoInformation : public QThread {
    Q_OBJECT
public:
    explicit videoInformation(QStringList files, QObject* parent = nullptr);
    explicit videoInformation(QString file, QObject* parent = nullptr);
    ~videoInformation() override;

    // The probe loop on the caller's thread; emits startFindInfo only.
    void probeNow();

    // Makes a running batch end after the file it is reading: no further file is opened or
    // reported, and endFindInfo still comes. For an owner that goes away before the batch is done.
    void requestStop() { stopRequested.store(true); }

    int lastVideoBitRate() const { return details.mVideoBitRate; }
    int lastDuration() const { return details.mDuration; }
    QString lastVideoCodec() const { return details.mVideoCodec; }
    // The record of the last probed file (after probeNow, or once the thread has finished).
    const videoDetails& lastDetails() const { return details; }

    // Fills `out` from `path`; false when the file cannot be opened or has no video stream
    // (an audio-only file counts as unreadable). Stateless, so any thread may call it.
    static bool readFileInfo(const QString& path, videoDetails& out);

    // Whole seconds as "hh:mm:ss" of a UTC time of day (the day wraps).
    static QString formatDuration(int seconds);

signals:
    void startFindInfo();
    void endFindInfo();
    // One file's details; receivers connect with queued delivery, each getting its own copy.
    void FoundVideoDetails(const videoDetails& details);

protected:
    void run() override;

private:
    // Probes one file into `details`; `failureSummary` is the summary after a failed probe.
    void probeFile(const QString& path, const QString& failureSummary);

    QStringList files;
    videoDetails details;
    std::atomic<bool> stopRequested{false};
};
