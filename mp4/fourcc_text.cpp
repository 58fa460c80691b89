#include "mp4/fourcc_text.h"

namespace mp4 {

std::string fourccText(std::uint32_t code) {
    std::string text(4, '.');
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = static_cast<unsigned char>(code >> (24 - 8 * i));
        if (c >= 0x20 && c <= 0x7E) text[i] = static_cast<char>(c);
    }
    return text;
}

}  // namespace mp4
