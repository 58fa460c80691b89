#include "tools/brannoc/adts_reframer.h"

#include <neaacdec.h>

#include <vector>

namespace brannoc {

namespace {

// The window kept in memory: large enough that a refill is rare, small enough to be bounded.
constexpr std::size_t kWindow = 1 << 20;
// Refill before a decode could run past the window's end: faad may read up to
// FAAD_MIN_STREAMSIZE bytes per channel, and no valid frame is longer than kMaxRawFrame.
constexpr std::size_t kLowWater = 16 * 1024;

// Syntactic element ids of a raw data block.
constexpr int kSingleChannelElement = 0;
constexpr int kChannelPairElement = 1;
constexpr int kDataStreamElement = 4;
constexpr int kFillElement = 6;

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

class Decoder {
public:
    Decoder() : handle_(NeAACDecOpen()) {}
    ~Decoder() {
        if (handle_) NeAACDecClose(handle_);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    bool init(const AdtsConfig& config) {
        if (!handle_) return false;
        NeAACDecConfigurationPtr conf = NeAACDecGetCurrentConfiguration(handle_);
        if (!conf) return false;
        conf->outputFormat = FAAD_FMT_16BIT;
        conf->dontUpSampleImplicitSBR = 1;
        if (!NeAACDecSetConfiguration(handle_, conf)) return false;
        // AudioSpecificConfig: object type (5 bits), frequency index (4), channels (4), 3 zero bits.
        unsigned char asc[2] = {
            static_cast<unsigned char>((config.objectType << 3) | (config.frequencyIndex >> 1)),
            static_cast<unsigned char>(((config.frequencyIndex & 1) << 7) | (config.channels << 3)),
        };
        unsigned long rate = 0;
        unsigned char channels = 0;
        return NeAACDecInit2(handle_, asc, sizeof asc, &rate, &channels) == 0;
    }

    // Bytes of one raw frame at `data`, or 0 when no frame decodes there.
    std::size_t frameAt(std::uint8_t* data, std::size_t available, int firstElement) {
        if (!opensWithChannelElement(data, available, firstElement)) return 0;
        NeAACDecFrameInfo info{};
        NeAACDecDecode(handle_, &info, data, static_cast<unsigned long>(available));
        if (info.error != 0 || info.bytesconsumed == 0) return 0;
        if (info.bytesconsumed > available || info.bytesconsumed > kMaxRawFrame) return 0;
        return info.bytesconsumed;
    }

private:
    NeAACDecHandle handle_;
};

}  // namespace

bool parseAdtsHeader(const std::uint8_t* b, std::size_t length, AdtsConfig& config) {
    if (length < 7) return false;
    if (b[0] != 0xFF || (b[1] & 0xF6) != 0xF0) return false;  // sync word, layer 0
    const int profile = b[2] >> 6;
    const int frequencyIndex = (b[2] >> 2) & 0x0F;
    const int channels = ((b[2] & 0x01) << 2) | (b[3] >> 6);
    if (profile == 3 || frequencyIndex > 12 || channels == 0) return false;
    config.objectType = profile + 1;
    config.frequencyIndex = frequencyIndex;
    config.channels = channels;
    return true;
}

void writeAdtsHeader(const AdtsConfig& config, std::size_t frameLength, std::uint8_t out[7]) {
    const std::size_t total = frameLength + 7;
    const int lcProfile = 1;  // object type 2 - 1
    out[0] = 0xFF;
    out[1] = 0xF1;  // MPEG-4, layer 0, no CRC
    out[2] = static_cast<std::uint8_t>((lcProfile << 6) | (config.frequencyIndex << 2) | ((config.channels >> 2) & 1));
    out[3] = static_cast<std::uint8_t>(((config.channels & 3) << 6) | ((total >> 11) & 0x03));
    out[4] = static_cast<std::uint8_t>((total >> 3) & 0xFF);
    out[5] = static_cast<std::uint8_t>(((total & 0x07) << 5) | 0x1F);  // buffer fullness 0x7FF: variable rate
    out[6] = 0xFC;
}

ReframeResult reframe(std::FILE* input, std::uint64_t inputSize, std::FILE* output, ReframeStats& stats,
                      const std::function<void(double)>& progress) {
    std::vector<std::uint8_t> window(kWindow);
    std::size_t begin = 0, end = 0;
    bool atEof = false;
    std::uint64_t consumed = 0;  // input bytes behind `begin`
    int lastPercent = -1;

    auto refill = [&]() -> bool {
        if (atEof) return true;
        if (begin > 0) {
            std::copy(window.begin() + static_cast<std::ptrdiff_t>(begin), window.begin() + static_cast<std::ptrdiff_t>(end),
                      window.begin());
            end -= begin;
            begin = 0;
        }
        while (end < window.size()) {
            const std::size_t got = std::fread(window.data() + end, 1, window.size() - end, input);
            end += got;
            if (got == 0) {
                if (std::ferror(input)) return false;
                atEof = true;
                break;
            }
        }
        return true;
    };
    auto advance = [&](std::size_t n) {
        begin += n;
        consumed += n;
        if (inputSize > 0) {
            const double percent = 100.0 * static_cast<double>(consumed) / static_cast<double>(inputSize);
            if (static_cast<int>(percent) > lastPercent) {
                lastPercent = static_cast<int>(percent);
                progress(percent);
            }
        }
    };

    if (!refill()) return ReframeResult::ReadError;
    AdtsConfig config;
    if (!parseAdtsHeader(window.data(), end - begin, config)) return ReframeResult::NoHeader;
    advance(7);

    Decoder decoder;
    if (!decoder.init(config)) return ReframeResult::DecoderError;
    // Configuration 2 is one channel pair; every other one starts with a single channel (centre or mono).
    const int firstElement = config.channels == 2 ? kChannelPairElement : kSingleChannelElement;

    while (true) {
        if (end - begin < kLowWater && !refill()) return ReframeResult::ReadError;
        if (begin >= end) break;
        const std::size_t length = decoder.frameAt(window.data() + begin, end - begin, firstElement);
        if (length == 0) {
            ++stats.skippedBytes;
            advance(1);
            continue;
        }
        std::uint8_t header[7];
        writeAdtsHeader(config, length, header);
        if (std::fwrite(header, 1, sizeof header, output) != sizeof header ||
            std::fwrite(window.data() + begin, 1, length, output) != length)
            return ReframeResult::WriteError;
        ++stats.frames;
        stats.frameBytes += length;
        advance(length);
    }
    if (std::fflush(output) != 0) return ReframeResult::WriteError;
    const std::uint64_t behindHeader = stats.frameBytes + stats.skippedBytes;
    if (stats.frames == 0 || static_cast<double>(stats.frameBytes) < kMinFrameShare * static_cast<double>(behindHeader))
        return ReframeResult::NoFrames;
    return ReframeResult::Ok;
}

}  // namespace brannoc
