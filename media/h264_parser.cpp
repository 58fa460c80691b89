#include "media/h264_parser.h"

#include <algorithm>

#include "media/h264_nal.h"

namespace {

// The one process-wide parser: its state and the lock of its users, in one place.
struct CurrentParser {
    std::mutex lock;
    H264ParserState state;
};

CurrentParser& currentParser() {
    static CurrentParser parser;
    return parser;
}

const std::uint8_t kStartCode[] = {0, 0, 0, 1};

}  // namespace

void initH264Parser() { currentParser().state = H264ParserState{}; }

void parseFirstNalUnit(const std::uint8_t* buffer, int length, H264ParserState& state) {
    if (!buffer || length < 1) return;
    for (int i = 0; i + 4 <= length; ++i) {
        if (std::equal(kStartCode, kStartCode + 4, buffer + i)) {
            try {
                readNalUnit(buffer + i + 4, std::uint64_t(length - i - 4), state);
            } catch (...) {
                // An allocation failure leaves the records as far as they were read.
            }
            return;
        }
    }
}

void parseFirstNalUnit(const std::uint8_t* buffer, int length) {
    parseFirstNalUnit(buffer, length, currentParser().state);
}

std::uint32_t getNalUnitType() { return currentParser().state.nal.nal_unit_type; }
int getPictureWidth() { return pictureWidth(currentParser().state.sps); }
int getPictureHeight() { return pictureHeight(currentParser().state.sps); }

const H264ParserState& currentH264ParserState() { return currentParser().state; }

std::unique_lock<std::mutex> h264ParserLock() { return std::unique_lock<std::mutex>(currentParser().lock); }
