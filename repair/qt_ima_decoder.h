#pragma once
// Decoding QuickTime IMA ADPCM packets into PCM: no WAV format holds such packets.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The FFmpeg libraries' decoder, kept open over the whole sound: a block that starts near where
// the block before it ended goes on from that block's exact state, so only packets decoded in
// order, by one decoder, give the samples a player gives.
class QtImaDecoder {
public:
    QtImaDecoder();
    ~QtImaDecoder();
    QtImaDecoder(const QtImaDecoder&) = delete;
    QtImaDecoder& operator=(const QtImaDecoder&) = delete;

    // False when the libraries lack the decoder or refuse the format.
    bool open(int channels, int sampleRate);
    bool isOpen() const;
    int channels() const { return channels_; }

    // Decodes the whole packets in `size` bytes (a trailing part packet is not decoded) and
    // appends their samples, interleaved 16-bit little-endian, to `pcm`. False when the decoder
    // is not open or refuses a packet.
    bool decode(const std::uint8_t* packets, std::size_t size, std::vector<std::uint8_t>& pcm);

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
    int channels_ = 0;
};
