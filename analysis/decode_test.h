#pragma once
// The diagnostic's decode test: do the units the frame finder recognised for a preset decode
// into real pictures with one candidate set of parameter sets? The units go, in file order and
// in Annex B form, to a fresh decoder; a picture is good when the decoder flags no error and it
// is not flat (its PNG encoding takes at least 50,000 bytes). Good pictures are shown, small, in
// the preview label.
//
// Everything runs on the worker's thread; pictures reach the label through the picture seam.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analysis/diag_preset.h"
#include "analysis/picture_verdicts.h"
#include "analysis/png_size_test.h"
#include "media/ffmpeg_handles.h"
#include "mp4/outcome.h"

#include <QImage>

class QObject;

class diagDecodeTest {
public:
    // A good picture is encoded as PNG into at least this many bytes.
    static constexpr int kMinPngBytes = 50000;
    // Inside an open access unit a slice is decoded once this many packets are pending.
    static constexpr std::size_t kSliceQueueLimit = 51;
    static constexpr int kPreviewWidth = 187;
    static constexpr int kPreviewHeight = 117;

    using ErrorSink = std::function<void(const std::string& message)>;
    using SizeSink = std::function<void(int width, int height)>;

    // `error` receives the decoder set-up failures, `decodedSize` the size of each converted frame.
    diagDecodeTest(ErrorSink error, SizeSink decodedSize);
    ~diagDecodeTest();
    diagDecodeTest(const diagDecodeTest&) = delete;
    diagDecodeTest& operator=(const diagDecodeTest&) = delete;

    void setPreviewLabel(QObject* label) { previewLabel_ = label; }
    // The decoder for H.265 (true) or H.264; the FFmpeg decoders unless a test hands in another.
    using DecoderFinder = std::function<const AVCodec*(bool hevc)>;
    void setDecoderFinder(DecoderFinder finder) { findDecoder_ = std::move(finder); }

    // Queues the bytes of a hexadecimal text (which carries its own start codes) as one packet.
    // Fails, queueing nothing, for text that is not upper-case hexadecimal.
    Outcome queueHexPacket(const std::string& text);
    // Feeds the preset's recognised units (all but the last, which the window may have cut) and
    // returns the good frames: 0 once one H.264 frame or three H.265 frames were refused.
    int decodeTest(const DiagPreset& preset, const std::uint8_t* window, std::int64_t windowBytes);

    void openDecoder(bool hevc);
    void closeDecoder();
    void clearPendingPackets();
    void sendNonSliceUnit(const std::uint8_t* unit, std::size_t size, int type);
    void sendSliceUnit(const std::uint8_t* unit, std::size_t size);
    void decodePending();

    int goodFrames = 0;
    int badFrames = 0;

    std::size_t pendingCount() const { return pendingPackets_.size(); }
    bool accessUnitOpen() const { return accessUnitOpen_; }

private:
    void append(const std::uint8_t* unit, std::size_t size, bool withStartCode);
    // One decoded picture; false ends the look at this decode's pictures.
    bool takePicture(const AVFrame* frame);
    // Converts, tests and scales a picture not looked at before.
    PictureVerdicts::Verdict lookAt(const AVFrame* frame);

    ErrorSink error_;
    SizeSink decodedSize_;
    QObject* previewLabel_ = nullptr;
    DecoderFinder findDecoder_;
    CodecContextPtr context_;
    std::vector<std::vector<std::uint8_t>> pendingPackets_;
    bool accessUnitOpen_ = false;
    // Kept across the frames of a test: a 1080p picture and the flatness test's state are large
    // to remake.
    QImage rgb_;
    PngSizeTest flatness_;
    // Kept across the tests: the attempts with one candidate after another see the same pictures.
    PictureVerdicts verdicts_;
};
