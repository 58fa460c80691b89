#include "media/aac_audio_header.h"

namespace aac {

namespace {

using mp4::ChannelElement;
using mp4::kChannelPairElement;
using mp4::kLfeElement;
using mp4::kSingleChannelElement;

// The channel elements of each channel configuration, in stream order; each kind's tags count
// from 0.
std::vector<ChannelElement> layoutOf(int channelConfiguration) {
    static const std::vector<int> layouts[] = {
        {},
        {kSingleChannelElement},
        {kChannelPairElement},
        {kSingleChannelElement, kChannelPairElement},
        {kSingleChannelElement, kChannelPairElement, kSingleChannelElement},
        {kSingleChannelElement, kChannelPairElement, kChannelPairElement},
        {kSingleChannelElement, kChannelPairElement, kChannelPairElement, kLfeElement},
        {kSingleChannelElement, kChannelPairElement, kChannelPairElement, kChannelPairElement, kLfeElement},
    };
    std::vector<ChannelElement> layout;
    int tags[8] = {};
    for (int id : layouts[channelConfiguration]) layout.push_back({id, tags[id]++});
    return layout;
}

}  // namespace

bool parseAudioHeader(const std::uint8_t* b, std::size_t length, AdtsConfig& config) {
    if (length < 7) return false;
    if (b[0] != 0xFF || (b[1] & 0xF6) != 0xF0) return false;  // sync word, layer 0
    const int profile = b[2] >> 6;
    const int frequencyIndex = (b[2] >> 2) & 0x0F;
    const int channels = ((b[2] & 0x01) << 2) | (b[3] >> 6);
    if (profile == 3 || frequencyIndex > 12) return false;
    AdtsConfig read;
    read.objectType = profile + 1;
    read.frequencyIndex = frequencyIndex;
    read.channels = channels;
    if (channels == 0) {
        mp4::ProgramConfig element;
        std::size_t size = 0;
        if (!mp4::readProgramConfigElement(b + 7, length - 7, element, size)) return false;
        read.layout = element.channelElements();
        read.programConfig = std::move(element);
        read.programConfigBytes.assign(b + 7, b + 7 + size);
    } else {
        read.layout = layoutOf(channels);
    }
    if (read.layout.empty()) return false;
    config = std::move(read);
    return true;
}

std::size_t maxRawFrame(const AdtsConfig& config) { return kMaxAdtsPayload - config.programConfigBytes.size(); }

void writeAdtsHeader(const AdtsConfig& config, std::size_t payloadLength, std::uint8_t out[7]) {
    const std::size_t total = payloadLength + 7;
    const int profile = config.objectType - 1;
    out[0] = 0xFF;
    out[1] = 0xF1;  // MPEG-4, layer 0, no CRC
    out[2] = static_cast<std::uint8_t>((profile << 6) | (config.frequencyIndex << 2) | ((config.channels >> 2) & 1));
    out[3] = static_cast<std::uint8_t>(((config.channels & 3) << 6) | ((total >> 11) & 0x03));
    out[4] = static_cast<std::uint8_t>((total >> 3) & 0xFF);
    out[5] = static_cast<std::uint8_t>(((total & 0x07) << 5) | 0x1F);  // buffer fullness 0x7FF: variable rate
    out[6] = 0xFC;
}

}  // namespace aac
