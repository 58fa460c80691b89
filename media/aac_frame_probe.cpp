#include "media/aac_frame_probe.h"

#include <neaacdec.h>

#include <vector>

#include "media/aac_frame_start.h"
#include "mp4/bit_writer.h"
#include "mp4/program_config.h"

// What a decoder remembers between frames, and why the probe's answers do not depend on it:
// - The syntax element met at each place of a frame (single channel, channel pair, LFE) is kept
//   from the first frame that reaches that place; a later frame with another element there fails.
//   Junk tried before the first real frame could so fix a wrong layout (two single channels in a
//   5.1 stream, say) and make every real frame fail; junk reaching places beyond the layout would
//   make the answers for later junk depend on which junk came first. The probe therefore primes
//   the decoder with one silent frame that fills every place the decoder has: the configuration's
//   layout, then single channels. Nothing can change them after that.
// - A failed decode can leave spectral band replication half set up, after which the decoder
//   refuses every frame. After each failure the probe decodes a silent frame, and replaces a
//   decoder that refuses it, so no failure reaches the next probe.
// - Replication data in a frame that decodes is kept between frames. The probe reports it, and
//   the reframer then takes the serial walk.
// Window shapes, noise seeds and the overlap buffer only change the decoded samples, which the
// probe does not use.

namespace aac {

namespace {

using mp4::ChannelElement;
using mp4::kChannelPairElement;
using mp4::kEndElement;
using mp4::kSingleChannelElement;

// The syntax elements one frame may hold in the decoder library.
constexpr std::size_t kMaxElements = 48;

// One channel's stream with no spectral data: a long window, no scale factor bands, no tools.
void putSilentChannel(mp4::BitWriter& bits) {
    bits.put(100, 8);  // global gain
    bits.put(0, 1);    // reserved
    bits.put(0, 2);    // window sequence: long
    bits.put(0, 1);    // window shape
    bits.put(0, 6);    // max_sfb
    bits.put(0, 1);    // no predictor data
    bits.put(0, 3);    // no pulse, TNS or gain control data
}

// A raw frame of silence holding `elements`, with room for the decoder's read-ahead.
std::vector<std::uint8_t> silentFrame(const std::vector<ChannelElement>& elements) {
    mp4::BitWriter bits;
    for (const ChannelElement& element : elements) {
        bits.put(static_cast<unsigned>(element.id), 3);
        bits.put(static_cast<unsigned>(element.tag), 4);
        if (element.id == kChannelPairElement) {
            bits.put(0, 1);  // no common window
            putSilentChannel(bits);
        }
        putSilentChannel(bits);
    }
    bits.put(kEndElement, 3);
    std::vector<std::uint8_t> frame = std::move(bits.bytes());
    frame.resize(frame.size() + 64, 0);
    return frame;
}

// The stream's layout, then single channels up to every place a frame has.
std::vector<ChannelElement> primingElements(const std::vector<ChannelElement>& layout) {
    std::vector<ChannelElement> elements = layout;
    for (int tag = 0; elements.size() < kMaxElements; ++tag) elements.push_back({kSingleChannelElement, tag % 16});
    return elements;
}

// The decoder's configuration: object type (5 bits), frequency index (4), channel configuration
// (4), the three flags of the general audio configuration, and the program config element of
// channel configuration 0.
std::vector<std::uint8_t> decoderConfiguration(const AdtsConfig& config) {
    mp4::BitWriter bits;
    bits.put(static_cast<unsigned>(config.objectType), 5);
    bits.put(static_cast<unsigned>(config.frequencyIndex), 4);
    bits.put(static_cast<unsigned>(config.channels), 4);
    bits.put(0, 3);
    if (config.programConfig) mp4::writeProgramConfig(bits, *config.programConfig);
    return std::move(bits.bytes());
}

}  // namespace

FrameProbe::FrameProbe() = default;

FrameProbe::~FrameProbe() { close(); }

void FrameProbe::close() {
    if (handle_) NeAACDecClose(handle_);
    handle_ = nullptr;
}

bool FrameProbe::init(const AdtsConfig& config) {
    if (config.layout.empty() || config.layout.size() > kMaxElements) return false;
    config_ = config;
    silentLayout_ = silentFrame(config.layout);
    return open();
}

bool FrameProbe::open() {
    close();
    handle_ = NeAACDecOpen();
    if (!handle_) return false;
    NeAACDecConfigurationPtr conf = NeAACDecGetCurrentConfiguration(handle_);
    if (!conf) return false;
    conf->outputFormat = FAAD_FMT_16BIT;
    conf->dontUpSampleImplicitSBR = 1;
    if (!NeAACDecSetConfiguration(handle_, conf)) return false;
    std::vector<std::uint8_t> asc = decoderConfiguration(config_);
    unsigned long rate = 0;
    unsigned char channels = 0;
    if (NeAACDecInit2(handle_, asc.data(), static_cast<unsigned long>(asc.size()), &rate, &channels) != 0) return false;
    std::vector<std::uint8_t> prime = silentFrame(primingElements(config_.layout));
    NeAACDecFrameInfo info{};
    NeAACDecDecode(handle_, &info, prime.data(), static_cast<unsigned long>(prime.size()));
    return info.error == 0 && info.bytesconsumed > 0;
}

bool FrameProbe::healthy() {
    NeAACDecFrameInfo info{};
    NeAACDecDecode(handle_, &info, silentLayout_.data(), static_cast<unsigned long>(silentLayout_.size()));
    return info.error == 0 && info.sbr == NO_SBR;
}

std::size_t FrameProbe::frameAt(std::uint8_t* data, std::size_t available) {
    if (!handle_ || !opensWithChannelElement(data, available, config_.layout.front())) return 0;
    NeAACDecFrameInfo info{};
    NeAACDecDecode(handle_, &info, data, static_cast<unsigned long>(available));
    if (info.error != 0 || info.bytesconsumed == 0) {
        // A failed decode can leave the decoder refusing every frame after it (replication
        // data half set up from junk); such a decoder is replaced.
        if (!healthy()) open();
        return 0;
    }
    if (info.sbr != NO_SBR) bandReplication_ = true;
    if (info.bytesconsumed > available || info.bytesconsumed > maxRawFrame(config_)) return 0;
    return info.bytesconsumed;
}

}  // namespace aac
