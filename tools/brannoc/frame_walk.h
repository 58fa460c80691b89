#pragma once
// The walk over the raw frames behind the header: at each position try a frame; a frame that
// decodes is taken and the walk moves past it, otherwise it moves on by one byte. The walk can
// run on several threads at once and still give exactly the one-thread result.
#include <cstdint>
#include <vector>

#include "tools/brannoc/adts_reframer.h"

namespace brannoc {

struct FoundFrame {
    std::uint64_t at;      // input offset of the raw frame
    std::uint32_t length;  // raw frame bytes
};

struct WalkResult {
    bool readError = false;
    bool decoderError = false;
    std::vector<FoundFrame> frames;  // in input order; the bytes between them are skipped
};

// Walks `fd` (a regular file of `size` bytes, read with pread) from `start` to its end with
// `threads` threads (1: serial). Inputs shorter than two pieces of `minPiece` bytes are walked
// serially whatever `threads` says.
WalkResult walkFrames(int fd, std::uint64_t size, std::uint64_t start, const AdtsConfig& config, unsigned threads,
                      std::uint64_t minPiece);

}  // namespace brannoc
