#include "tools/brannoc/frame_probe.h"

#include <neaacdec.h>

#include <vector>

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

namespace brannoc {

namespace {

// Syntactic element ids of a raw data block.
constexpr int kSingleChannelElement = 0;
constexpr int kChannelPairElement = 1;
constexpr int kLfeElement = 3;
constexpr int kDataStreamElement = 4;
constexpr int kFillElement = 6;
constexpr int kEndElement = 7;
// The syntax elements one frame may hold in the decoder library.
constexpr std::size_t kMaxElements = 48;

class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t length) : data_(data), bits_(length * 8) {}
    // Reads n (<= 24) bits; false when they run past the end.
    bool read(int n, unsigned& value) {
        if (position_ + static_cast<std::size_t>(n) > bits_) return false;
        value = 0;
        for (int i = 0; i < n; ++i, ++position_)
            value = (value << 1) | ((data_[position_ >> 3] >> (7 - (position_ & 7))) & 1u);
        return true;
    }
    bool skipBytes(std::size_t n) {
        if (position_ + n * 8 > bits_) return false;
        position_ += n * 8;
        return true;
    }
    void byteAlign() { position_ = (position_ + 7) & ~static_cast<std::size_t>(7); }

private:
    const std::uint8_t* data_;
    std::size_t bits_;
    std::size_t position_ = 0;
};

class BitWriter {
public:
    void put(unsigned value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (bit_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1u) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> (bit_ % 8));
            ++bit_;
        }
    }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t bit_ = 0;
};

// The channel elements of each channel configuration, in stream order.
const std::vector<int>& layoutOf(int channelConfiguration) {
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
    return layouts[channelConfiguration];
}

// One channel's stream with no spectral data: a long window, no scale factor bands, no tools.
void putSilentChannel(BitWriter& bits) {
    bits.put(100, 8);  // global gain
    bits.put(0, 1);    // reserved
    bits.put(0, 2);    // window sequence: long
    bits.put(0, 1);    // window shape
    bits.put(0, 6);    // max_sfb
    bits.put(0, 1);    // no predictor data
    bits.put(0, 3);    // no pulse, TNS or gain control data
}

// A raw frame of silence holding `elements` channel elements, with room for the decoder's read-ahead.
std::vector<std::uint8_t> silentFrame(const std::vector<int>& elements) {
    BitWriter bits;
    int tags[8] = {};
    for (int element : elements) {
        bits.put(static_cast<unsigned>(element), 3);
        bits.put(static_cast<unsigned>(tags[element]++ % 16), 4);
        if (element == kChannelPairElement) {
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

// The configuration's layout, then single channels up to every place a frame has.
std::vector<int> primingElements(int channelConfiguration) {
    std::vector<int> elements = layoutOf(channelConfiguration);
    elements.resize(kMaxElements, kSingleChannelElement);
    return elements;
}

// The decoder takes a fair share of random bytes for a frame, so a frame must open with the
// channel element its configuration calls for (tag 0), after at most a few fill or data
// stream elements (encoders put their signature there).
bool opensWithChannelElement(const std::uint8_t* data, std::size_t available, int firstElement) {
    BitReader bits(data, available);
    for (int element = 0; element < 4; ++element) {
        unsigned id = 0, value = 0;
        if (!bits.read(3, id)) return false;
        if (static_cast<int>(id) == firstElement) return bits.read(4, value) && value == 0;
        if (static_cast<int>(id) == kFillElement) {
            unsigned count = 0;
            if (!bits.read(4, count)) return false;
            if (count == 15) {
                if (!bits.read(8, value)) return false;
                count += value - 1;
            }
            if (!bits.skipBytes(count)) return false;
        } else if (static_cast<int>(id) == kDataStreamElement) {
            unsigned align = 0, count = 0;
            if (!bits.read(4, value) || !bits.read(1, align) || !bits.read(8, count)) return false;
            if (count == 255) {
                if (!bits.read(8, value)) return false;
                count += value;
            }
            if (align) bits.byteAlign();
            if (!bits.skipBytes(count)) return false;
        } else {
            return false;
        }
    }
    return false;
}

}  // namespace

FrameProbe::FrameProbe() = default;

FrameProbe::~FrameProbe() { close(); }

void FrameProbe::close() {
    if (handle_) NeAACDecClose(handle_);
    handle_ = nullptr;
}

bool FrameProbe::init(const AdtsConfig& config) {
    if (config.channels < 1 || config.channels > 7) return false;
    config_ = config;
    firstElement_ = layoutOf(config.channels).front();
    silentLayout_ = silentFrame(layoutOf(config.channels));
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
    // AudioSpecificConfig: object type (5 bits), frequency index (4), channels (4), 3 zero bits.
    unsigned char asc[2] = {
        static_cast<unsigned char>((config_.objectType << 3) | (config_.frequencyIndex >> 1)),
        static_cast<unsigned char>(((config_.frequencyIndex & 1) << 7) | (config_.channels << 3)),
    };
    unsigned long rate = 0;
    unsigned char channels = 0;
    if (NeAACDecInit2(handle_, asc, sizeof asc, &rate, &channels) != 0) return false;
    std::vector<std::uint8_t> prime = silentFrame(primingElements(config_.channels));
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
    if (!handle_ || !opensWithChannelElement(data, available, firstElement_)) return 0;
    NeAACDecFrameInfo info{};
    NeAACDecDecode(handle_, &info, data, static_cast<unsigned long>(available));
    if (info.error != 0 || info.bytesconsumed == 0) {
        // A failed decode can leave the decoder refusing every frame after it (replication
        // data half set up from junk); such a decoder is replaced.
        if (!healthy()) open();
        return 0;
    }
    if (info.sbr != NO_SBR) bandReplication_ = true;
    if (info.bytesconsumed > available || info.bytesconsumed > kMaxRawFrame) return 0;
    return info.bytesconsumed;
}

}  // namespace brannoc
