#pragma once
// Re-frames raw AAC frames (as the repair engine collects them behind one ADTS header taken
// from the reference) into a stream where every frame carries its own, correct ADTS header.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace brannoc {

// What the leading 7-byte ADTS header of the input tells.
struct AdtsConfig {
    int objectType = 0;       // MPEG-4 audio object type (profile + 1)
    int frequencyIndex = 0;   // sampling frequency index, 0..12
    int channels = 0;         // channel configuration, 1..7
};

// Reads a 7-byte ADTS header; false when the bytes are not one (no sync word, reserved index,
// channel configuration 0, which needs an in-band program config we cannot rebuild).
bool parseAdtsHeader(const std::uint8_t* bytes, std::size_t length, AdtsConfig& config);

// The 7-byte ADTS header (no CRC, AAC-LC) for one raw frame of `frameLength` bytes.
// frameLength must be at most kMaxRawFrame.
void writeAdtsHeader(const AdtsConfig& config, std::size_t frameLength, std::uint8_t out[7]);

// The 13-bit ADTS frame length bounds the raw frame behind a 7-byte header.
constexpr std::size_t kMaxRawFrame = 8191 - 7;

// NoFrames: no frame at all, or frames that cover less than kMinFrameShare of the bytes behind
// the header. A stream whose header names the wrong configuration (two channels for mono
// sound, say) decodes a frame now and then by chance; that is not the recording's sound.
enum class ReframeResult { Ok, ReadError, WriteError, NoHeader, NoFrames, DecoderError };

// The least share of the input that kept frames must cover.
constexpr double kMinFrameShare = 0.1;

struct ReframeStats {
    std::uint64_t frames = 0;
    std::uint64_t frameBytes = 0;    // raw frame bytes kept (headers not counted)
    std::uint64_t skippedBytes = 0;
};

// How the walk over the frames is split. Any split gives the same result as the serial walk.
struct ReframeOptions {
    unsigned threads = 0;                 // 0: one per hardware thread; 1: serial
    std::uint64_t minPiece = 512 * 1024;  // bytes each thread walks at least
};

// Reads `input` (a regular file, read from its start) to its end, writing re-framed ADTS frames
// to `output`. `progress` gets the share of the input consumed, in percent, whenever its
// whole-percent value grows.
ReframeResult reframe(std::FILE* input, std::uint64_t inputSize, std::FILE* output, ReframeStats& stats,
                      const std::function<void(double)>& progress, const ReframeOptions& options = {});

}  // namespace brannoc
