#pragma once
// The preview decoder: one picture of a video at a set position, with its time painted on it,
// for the main window's preview label. Opening, positioning and closing happen on the GUI
// thread; `run` decodes on the previewer's own thread.
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "media/ffmpeg_handles.h"

class QObject;

class previewer : public QThread {
    Q_OBJECT
public:
    // The picture shown when no picture could be decoded and after a close.
    static const char* const kDefaultPicture;
    static constexpr int kPictureWidth = 180;
    static constexpr int kPictureHeight = 122;
    // Packets read in one search for a picture.
    static constexpr int kMaxPackets = 100;

    // `target` is the label the pictures go to (through the queued picture seam); it must
    // outlive every decode, so its owner closes the file before it goes.
    explicit previewer(QObject* target, QObject* parent = nullptr);
    ~previewer() override;

    // Opens `path` (any earlier file is released first); isOpen tells whether it worked.
    void openFile(const QString& path);
    bool isOpen() const { return inputOpen.load(); }
    void setPosition(float seconds) { position.store(seconds); }
    float currentPosition() const { return position.load(); }
    // Seconds of the open file (0 when it states none); what a position in percent refers to.
    double duration() const { return durationSeconds; }
    // Decodes the picture at `seconds`. A request made while a picture is being decoded is
    // taken up as soon as that one is done, so the last position asked for is always the one
    // shown (a start during a decode would otherwise be dropped).
    void showAt(float seconds);
    // Stops a decode under way, waits for the thread to end, then releases the file and shows
    // the default picture.
    void closeFile();
    // Makes a decode under way give up; holds until the file is closed or reopened.
    void requestStop() { stopRequested.store(true); }
    bool isDecoding() const { return decoding.load(); }
    QString filePath() const { return path; }

    // Copied from the job before a preview: the time text then reads "Convert: ..."
    std::atomic<bool> isConverting{false};

signals:
    void startFindPicture();
    void endFindPicture();
    void errorFindPicture();

protected:
    void run() override;

private:
    bool openInput();
    void releaseInput();
    // One picture at `seconds`, handed to the label (or the default picture).
    void decodeOnce(float seconds);
    // Seeks to `seconds` when it is positive; false when the seek failed.
    bool seekToPosition(float seconds);
    // Reads and decodes until a good picture arrives; true with `picture` filled.
    bool findPicture(struct AVFrame* picture);

    std::atomic<bool> inputOpen{false};
    std::atomic<float> position{0};
    std::atomic<bool> decoding{false};
    std::atomic<bool> stopRequested{false};
    // showAt's hand-over: a run is at work (or starting), and another position waits for it.
    std::mutex runMutex;
    bool runActive = false;
    bool rerunWanted = false;
    QString path;
    double durationSeconds = 0;
    QObject* previewLabel;
    int videoStreamIndex = -1;
    // The video decoder reached the end of the file and needs a flush before it decodes again.
    bool decoderDrained = false;
    // Nothing was read since the file was opened.
    bool atFileStart = true;
    FormatInputPtr formatContext;
    std::vector<CodecContextPtr> streamDecoders;
};
