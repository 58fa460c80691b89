#pragma once
// The repair engine's live preview: the run's one video decoder, the queue of packets that make
// up the next picture, and the small "Repair..." picture it makes of each decoded one.
//
// One object per engine, used only on the job's thread. The scan feeds it only for the selected
// job with Preview on. Finished pictures go to the sink given at construction, as values: the
// engine turns them into a signal, so nothing here knows where (or on which thread) they show.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QImage;
struct AVCodecContext;

class livePreview {
public:
    // A slice inside an open access unit is decoded once the queue holds this many packets.
    static constexpr std::size_t kSliceQueueLimit = 51;
    // Any queue is decoded before it grows past these, so a stream without delimiters (all
    // intra, say) never keeps every packet in memory.
    static constexpr std::size_t kMaxQueuedPackets = 256;
    static constexpr std::size_t kMaxQueuedBytes = 32u * 1024u * 1024u;
    static constexpr int kPictureWidth = 180;
    static constexpr int kPictureHeight = 122;

    // Receives each finished picture, on the thread that feeds the queue.
    using PictureSink = std::function<void(const QImage&)>;

    // Without a sink pictures are still decoded, but go nowhere.
    explicit livePreview(PictureSink sink = {});
    ~livePreview();
    livePreview(const livePreview&) = delete;
    livePreview& operator=(const livePreview&) = delete;

    // Opens the decoder for H.265 or H.264 (freeing any previous one; queued packets stay for
    // it). Returns 0 when it is
    // open, 0 without opening when no context could be allocated, negative when opening failed.
    int openVideoDecoder(bool hevc);
    // Drops every queued packet and clears the picture-open flag.
    void flushPreviewPackets();
    // Flushes, then closes and frees the decoder.
    void closeVideoDecoder();

    // Queues the bytes of the hexadecimal parameter-set text (which carries its own start
    // codes) so that the first picture can be decoded. Returns 1. Throws std::invalid_argument
    // from hexToBytes for a text that is not upper-case hexadecimal.
    int decodeTestPacket(const std::string& text);
    // A taken packet other than an H.264 type-1 slice; `nalType` 9 or 35 is a delimiter.
    // `extra` holds payload bytes that lie past the scan's buffer (may be null). Returns 1.
    int queuePreviewPacket(const std::uint8_t* payload, std::size_t payloadLength, const std::uint8_t* extra,
                           std::size_t extraLength, int nalType);
    // A taken H.264 type-1 slice. Returns 1.
    int queueSlicePreview(const std::uint8_t* payload, std::size_t payloadLength, const std::uint8_t* extra,
                          std::size_t extraLength);
    // Decodes the queue, one access unit at a time, hands every good picture to the sink,
    // then flushes. Returns 1.
    int showRepairPreview();

    std::size_t queuedPackets() const { return queue_.size(); }
    std::size_t queuedBytes() const { return queuedBytes_; }
    bool pictureOpen() const { return pictureOpen_; }
    bool decoderOpen() const { return context_ != nullptr; }
    // Pictures handed to the sink since construction.
    int picturesShown() const { return picturesShown_; }
    // Times a queue was handed over for decoding since construction (decoder open or not).
    int decodeRuns() const { return decodeRuns_; }

private:
    // Start code + payload + extra; the zeroed input tail is added when the queue is joined.
    void append(const std::uint8_t* payload, std::size_t payloadLength, const std::uint8_t* extra,
                std::size_t extraLength, bool withStartCode);
    // Decodes first when appending `incoming` bytes would pass a bound.
    void makeRoomFor(std::size_t incoming);
    // Splits the joined queue (padded) into access units and decodes each.
    void decodeJoined(const std::uint8_t* data, int size);

    const PictureSink sink_;
    AVCodecContext* context_ = nullptr;
    std::vector<std::vector<std::uint8_t>> queue_;
    std::size_t queuedBytes_ = 0;
    bool pictureOpen_ = false;
    int picturesShown_ = 0;
    int decodeRuns_ = 0;
};
