#pragma once
// Tells whether a raw AAC frame starts at a position, and how long it is, by decoding it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/aac_audio_header.h"

namespace aac {

// One decoder, set up for the stream's configuration. A probe's answer for a position depends
// only on the bytes there (see frame_probe.cpp for why), so probes on different threads that look
// at the same position agree; that is what lets the walk be split across threads.
class FrameProbe {
public:
    FrameProbe();
    ~FrameProbe();
    FrameProbe(const FrameProbe&) = delete;
    FrameProbe& operator=(const FrameProbe&) = delete;

    // False when the decoder rejects the configuration.
    bool init(const AdtsConfig& config);

    // Bytes of one raw frame at `data`, or 0 when no frame of this configuration decodes there.
    // `available` is what the input holds from `data` on: at least kProbeReach, or up to its end.
    std::size_t frameAt(std::uint8_t* data, std::size_t available);

    // Whether a frame that decoded carried spectral band replication data. The answers may then
    // depend on what the decoder met before (the replication header it keeps), so the reframer
    // walks serially.
    bool sawBandReplication() const { return bandReplication_; }

private:
    bool open();
    void close();
    bool healthy();

    void* handle_ = nullptr;  // the decoder library's handle
    AdtsConfig config_;
    std::vector<std::uint8_t> silentLayout_;
    bool bandReplication_ = false;
};

// How far past a position a probe may look: no frame is longer, plus faad's read-ahead.
constexpr std::size_t kProbeReach = kMaxAdtsPayload + 64;

}  // namespace aac
