#include "media/h264_parser.h"

#include <algorithm>

#include "media/h264_nal.h"

namespace {

const std::uint8_t kStartCode[] = {0, 0, 0, 1};

}  // namespace

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

int H264Parser::getPictureWidth() const { return pictureWidth(state_.sps); }
int H264Parser::getPictureHeight() const { return pictureHeight(state_.sps); }
