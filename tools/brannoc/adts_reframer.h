#pragma once
// Re-frames raw AAC frames (as the repair engine collects them behind one ADTS header taken
// from the reference) into a stream where every frame carries its own, correct ADTS header.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "media/aac_audio_header.h"

namespace brannoc {

using aac::AdtsConfig;
using aac::kMaxAdtsPayload;
using aac::maxRawFrame;
using aac::parseAudioHeader;
using aac::writeAdtsHeader;

// NoFrames: no frame at all, or only frames that stand alone and cover less than
// kMinFrameShare of the bytes behind the header. A stream whose header names the wrong
// configuration (two channels for mono sound, say), like noise, decodes a frame now and then by
// chance; that is not the recording's sound. Real frames come back to back, however much
// erased or foreign space lies between their runs.
enum class ReframeResult { Ok, ReadError, WriteError, NoHeader, NoFrames, DecoderError };

// The least share of the input that kept frames standing alone must cover.
constexpr double kMinFrameShare = 0.1;
// Frames back to back that make a stream the recording's sound whatever their share.
constexpr std::uint64_t kLeastChain = 3;

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
