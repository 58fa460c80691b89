#include "repair/wav_header.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "repair/audio_limits.h"
#include "repair/output_file.h"

namespace {

constexpr std::uint32_t kRiffPlaceholder = 0x7FFFFFF7;
constexpr std::uint32_t kAdpcmDataPlaceholder = 0x7FFFFFC3;
constexpr std::uint32_t kAdpcmFactPlaceholder = 0x00FFFFFF;
constexpr std::uint32_t kPcmDataPlaceholder = 0x7FFFFFD3;

class Writer {
public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}
    void text(const char* four) { out_.insert(out_.end(), four, four + 4); }
    void u16(unsigned v) {
        out_.push_back(std::uint8_t(v));
        out_.push_back(std::uint8_t(v >> 8));
    }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out_.push_back(std::uint8_t(v >> (8 * i)));
    }

private:
    std::vector<std::uint8_t>& out_;
};

// A size field: past 4 GiB the largest value, which readers take as "to the end of the file".
std::uint32_t clamp32(std::uint64_t v) { return std::uint32_t(std::min<std::uint64_t>(v, 0xFFFFFFFFu)); }

// Sample frames in `dataBytes` of whole and trailing part blocks.
std::uint64_t adpcmFrames(const WavFormat& f, std::uint64_t dataBytes) {
    const int perBlock = imaAdpcmSamplesPerBlock(f.blockAlign, f.channels);
    if (perBlock == 0) return 0;
    const std::uint64_t align = std::uint64_t(f.blockAlign);
    const std::uint64_t rest = dataBytes % align;
    std::uint64_t frames = dataBytes / align * std::uint64_t(perBlock);
    if (rest > 0) frames += std::uint64_t(imaAdpcmSamplesPerBlock(int(rest), f.channels));
    return frames;
}

void adpcmHeader(Writer& w, const WavFormat& f, bool completed, std::uint64_t dataBytes) {
    const int perBlock = imaAdpcmSamplesPerBlock(f.blockAlign, f.channels);
    // Average byte rate of the block stream; the sample rate when blocks hold no samples.
    const std::uint64_t byteRate =
        perBlock > 0 ? std::uint64_t(std::max(f.sampleRate, 0)) * std::uint64_t(f.blockAlign) /
                           std::uint64_t(perBlock)
                     : std::uint64_t(std::max(f.sampleRate, 0));
    w.text("RIFF");
    w.u32(completed ? clamp32(dataBytes + 52) : kRiffPlaceholder);
    w.text("WAVE");
    w.text("fmt ");
    w.u32(20);
    w.u16(17);
    w.u16(unsigned(f.channels));
    w.u32(std::uint32_t(f.sampleRate));
    w.u32(clamp32(byteRate));
    w.u16(unsigned(f.blockAlign));
    w.u16(4);
    w.u16(2);
    w.u16(unsigned(perBlock));
    w.text("fact");
    w.u32(4);
    w.u32(completed ? clamp32(adpcmFrames(f, dataBytes)) : kAdpcmFactPlaceholder);
    w.text("data");
    w.u32(completed ? clamp32(dataBytes) : kAdpcmDataPlaceholder);
}

void pcmHeader(Writer& w, const WavFormat& f, bool completed, std::uint64_t dataBytes) {
    const std::int64_t frameBits = std::int64_t(f.channels) * f.bitsPerSample;
    w.text("RIFF");
    w.u32(completed ? clamp32(dataBytes + 36) : kRiffPlaceholder);
    w.text("WAVE");
    w.text("fmt ");
    w.u32(16);
    w.u16(1);
    w.u16(unsigned(f.channels));
    w.u32(std::uint32_t(f.sampleRate));
    w.u32(clamp32(std::uint64_t(frameBits) * std::uint64_t(f.sampleRate) / 8));
    w.u16(unsigned(frameBits / 8));
    w.u16(unsigned(f.bitsPerSample));
    w.text("data");
    w.u32(completed ? clamp32(dataBytes) : kPcmDataPlaceholder);
}

bool append(OutputFile& out, const std::vector<std::uint8_t>& bytes) {
    return !bytes.empty() && out.write(bytes.data(), bytes.size());
}

bool finish(OutputFile& out, const WavFormat& written, WavKind kind, std::uint64_t dataBytes) {
    if (written.kind != kind || !out.isOpen()) return false;
    const std::vector<std::uint8_t> header = wavHeaderBytes(written, true, dataBytes);
    return out.writeAt(0, header.data(), header.size());
}

}  // namespace

int imaAdpcmSamplesPerBlock(int blockAlign, int channels) {
    // In 64 bits: both values come from the reference description and may be anything.
    const std::int64_t align = blockAlign;
    const std::int64_t count = channels;
    if (count <= 0 || align <= 4 * count) return 0;
    const std::int64_t samples = (align - 4 * count) * 2 / count + 1;
    return samples > std::numeric_limits<int>::max() ? 0 : static_cast<int>(samples);
}

bool isWritableFormat(const WavFormat& f) {
    return audioFieldInRange(AudioField::Channels, f.channels) &&
           audioFieldInRange(AudioField::SampleRate, f.sampleRate) &&
           audioFieldInRange(AudioField::BitsPerSample, f.bitsPerSample) &&
           audioFieldInRange(AudioField::BlockAlign, f.blockAlign) &&
           // The ADPCM header states the samples of a block in 16 bits as well.
           (f.kind != WavKind::ImaAdpcm || imaAdpcmSamplesPerBlock(f.blockAlign, f.channels) <= 0xFFFF);
}

std::vector<std::uint8_t> wavHeaderBytes(const WavFormat& format, bool completed, std::uint64_t dataBytes) {
    std::vector<std::uint8_t> bytes;
    if (!isWritableFormat(format)) return bytes;
    Writer w(bytes);
    if (format.kind == WavKind::Pcm) pcmHeader(w, format, completed, dataBytes);
    if (format.kind == WavKind::ImaAdpcm) adpcmHeader(w, format, completed, dataBytes);
    return bytes;
}

bool writeWavHeaderAdpcm(OutputFile& out, int /*bitsPerSample*/, int channels, int sampleRate, int blockAlign,
                         WavFormat& written) {
    const WavFormat format{WavKind::ImaAdpcm, channels, sampleRate, 4, blockAlign};
    written = WavFormat{};
    if (!append(out, wavHeaderBytes(format, false, 0))) return false;
    written = format;
    return true;
}

bool writeWavHeaderPcm(OutputFile& out, int bitsPerSample, int channels, int sampleRate, WavFormat& written) {
    const WavFormat format{WavKind::Pcm, channels, sampleRate, bitsPerSample, 0};
    written = WavFormat{};
    if (!append(out, wavHeaderBytes(format, false, 0))) return false;
    written = format;
    return true;
}

bool finishWavHeaderAdpcm(OutputFile& out, const WavFormat& written, std::uint64_t dataBytes) {
    return finish(out, written, WavKind::ImaAdpcm, dataBytes);
}

bool finishWavHeaderPcm(OutputFile& out, const WavFormat& written, std::uint64_t dataBytes) {
    return finish(out, written, WavKind::Pcm, dataBytes);
}

void swapPcmSamples(int bitsPerSample, std::int64_t length, std::uint8_t* bytes) {
    const int k = bitsPerSample == 16 ? 2 : bitsPerSample == 24 ? 3 : bitsPerSample == 32 ? 4 : 0;
    if (k == 0 || !bytes || length < k) return;
    for (std::int64_t i = 0; i + k <= length; i += k) std::reverse(bytes + i, bytes + i + k);
}
