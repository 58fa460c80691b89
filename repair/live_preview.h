#pragma once
// The repair engine's live preview: the small "Repair..." picture of what the scan takes.
//
// The scan's thread only picks and copies: of the units it takes, the parameter sets and the
// pictures that decode on their own (IDR / IRAP / I pictures), at most one picture per
// kPictureInterval and only while the decoding thread is free. Whether a unit is kept is decided
// from its type and first header bits before a byte of it is copied, so the scan pays for
// nothing it does not show. A thread of the preview's own (previewWorker) decodes the picked
// picture behind the parameter sets and paints it; the scan never waits for it during the run.
//
// One object per engine. The queueing calls come from the job's thread; finished pictures go to
// the sink given at construction, as values, on the decoding thread: the engine turns them into
// a signal, so nothing here knows where they show.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "media/ffmpeg_handles.h"
#include "mp4/outcome.h"
#include "repair/preview_worker.h"

class QImage;

class livePreview {
public:
    // Bounds of the one picture being picked: one beyond them is dropped, not decoded in part.
    static constexpr std::size_t kMaxQueuedPackets = 256;
    static constexpr std::size_t kMaxQueuedBytes = 32u * 1024u * 1024u;
    // Bound of each of the two parameter-set runs kept (the reference's and the stream's own).
    static constexpr std::size_t kMaxParameterSetBytes = 64u * 1024u;
    // A picture is picked at most this often: a few a second show the progress of the repair.
    static constexpr std::chrono::milliseconds kPictureInterval{250};
    static constexpr int kPictureWidth = 180;
    static constexpr int kPictureHeight = 122;

    // Receives each finished picture, on the decoding thread.
    using PictureSink = std::function<void(const QImage&)>;
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Without a sink pictures are still decoded, but go nowhere. Without a clock the steady
    // clock paces the picking.
    explicit livePreview(PictureSink sink = {}, Clock clock = {});
    // Closes the decoder: the decoding thread ends before anything it uses goes.
    ~livePreview();
    livePreview(const livePreview&) = delete;
    livePreview& operator=(const livePreview&) = delete;

    // Opens the decoder for H.265 or H.264 (after finishing with any previous one; the kept
    // parameter sets stay for it). Returns 0 when it is open, negative (FFmpeg's error) when it
    // could not be opened. Without an open decoder nothing is kept.
    int openVideoDecoder(bool hevc);
    // Drops the picture being picked and every kept parameter set.
    void flushPreviewPackets();
    // Hands over the picture being picked, waits until the decoding thread has shown what it
    // was given (one picture at most), ends that thread, then flushes and frees the decoder.
    void closeVideoDecoder();

    // Keeps the bytes of the hexadecimal parameter-set text (which carries its own start codes)
    // ahead of every picture decoded. Fails, keeping nothing, for a text that is not upper-case
    // hexadecimal (media/hex_text.h).
    Outcome decodeTestPacket(const std::string& text);
    // A taken unit of `nalType`, from its NAL header on; `extra` holds payload bytes that lie
    // past the scan's buffer (may be null). Returns 1.
    int queuePreviewPacket(const std::uint8_t* payload, std::size_t payloadLength, const std::uint8_t* extra,
                           std::size_t extraLength, int nalType);
    // A taken unit of type 1 (an H.264 non-IDR slice, an H.265 TRAIL_R slice). Returns 1.
    int queueSlicePreview(const std::uint8_t* payload, std::size_t payloadLength, const std::uint8_t* extra,
                          std::size_t extraLength);
    // Hands the picture being picked to the decoding thread without waiting for it. Returns 1.
    int showRepairPreview();
    // Waits until every picture handed over has been decoded and shown, and ends the decoding
    // thread (a later picture starts a new one).
    void finishPictures();

    // Units of the picture being picked.
    std::size_t queuedPackets() const { return picturePackets_; }
    // Bytes the scan's side holds: the kept parameter sets and the picture being picked.
    std::size_t queuedBytes() const { return referenceSets_.size() + streamSets_.size() + picture_.size(); }
    // A picture is being picked.
    bool pictureOpen() const { return pictureType_ >= 0; }
    bool decoderOpen() const { return context_ != nullptr; }
    bool decodingThreadRunning() const { return worker_.running(); }
    // Pictures handed to the sink since construction.
    int picturesShown() const { return picturesShown_.load(); }
    // Pictures handed to the decoding thread since construction (decoder open or not).
    int picturesHandedOver() const { return handedOver_; }

private:
    void take(const std::uint8_t* payload, std::size_t payloadLength, const std::uint8_t* extra,
              std::size_t extraLength, int nalType);
    // Whether a picture may be picked now: the decoding thread is free and the interval passed.
    bool pictureDue();
    void startPicture(int nalType);
    void dropPicture();
    void keepStreamSet(const std::uint8_t* payload, std::size_t payloadLength, const std::uint8_t* extra,
                       std::size_t extraLength);
    // Runs on the decoding thread.
    void decodePicture(std::vector<std::uint8_t>& picture);

    const PictureSink sink_;
    const Clock clock_;
    CodecContextPtr context_;  // used by the decoding thread while it runs
    bool hevc_ = false;

    std::vector<std::uint8_t> referenceSets_;  // the decode test's parameter sets
    std::vector<std::uint8_t> streamSets_;     // the last run of parameter sets the scan took
    bool streamSetsOpen_ = false;              // no slice came since the last of them
    std::vector<std::uint8_t> picture_;        // parameter sets, then the picked picture's slices
    int pictureType_ = -1;                     // NAL type of its slices; -1: none being picked
    std::size_t picturePackets_ = 0;
    bool picked_ = false;                      // a picture was picked before (lastPicked_ is set)
    std::chrono::steady_clock::time_point lastPicked_{};

    int handedOver_ = 0;
    std::atomic<int> picturesShown_{0};
    // Last: it is destroyed first, ending the thread before the members it uses go.
    previewWorker worker_;
};
