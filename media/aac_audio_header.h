#pragma once
// An AAC stream's audio header: the ADTS header that the reference analysis makes from a track's
// decoder configuration (with the program config element behind it for channel configuration 0),
// which the repair engine writes before the raw frames it collects and the audio repair reads
// back; and the ADTS header of each frame written.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "mp4/program_config.h"

namespace aac {

// What the audio header tells.
struct AdtsConfig {
    int objectType = 0;      // MPEG-4 audio object type (profile + 1)
    int frequencyIndex = 0;  // sampling frequency index, 0..12
    int channels = 0;        // channel configuration, 0..7; 0: the program config element says
    // With channel configuration 0: the program config element that follows the 7 bytes, as
    // read and as it stood there (its id first, whole bytes).
    std::optional<mp4::ProgramConfig> programConfig;
    std::vector<std::uint8_t> programConfigBytes;
    // The channel elements of every frame, in stream order.
    std::vector<mp4::ChannelElement> layout;

    // Bytes of the header in the input.
    std::size_t headerSize() const { return 7 + programConfigBytes.size(); }
};

// Reads the audio header; false when the bytes are not one: no sync word, a reserved profile
// or index, channel configuration 0 without a program config element behind it, or a layout
// without channels.
bool parseAudioHeader(const std::uint8_t* bytes, std::size_t length, AdtsConfig& config);

// The 13-bit ADTS frame length bounds what follows a 7-byte header.
constexpr std::size_t kMaxAdtsPayload = 8191 - 7;

// The longest raw frame a stream of `config` can carry: room is kept for the program config
// element, which goes out with the first frame.
std::size_t maxRawFrame(const AdtsConfig& config);

// The 7-byte ADTS header (no CRC) for `payloadLength` bytes behind it, at most kMaxAdtsPayload.
void writeAdtsHeader(const AdtsConfig& config, std::size_t payloadLength, std::uint8_t out[7]);

}  // namespace aac
