#include "tools/brannoc/constant_run.h"

#include <cstring>

namespace brannoc {

std::size_t runLength(const std::uint8_t* data, std::size_t length) {
    if (length == 0) return 0;
    // Eight bytes at a time while they all match, then byte by byte.
    const std::uint64_t word = 0x0101010101010101ull * data[0];
    std::size_t at = 0;
    for (std::uint64_t block; at + 8 <= length; at += 8) {
        std::memcpy(&block, data + at, 8);
        if (block != word) break;
    }
    while (at < length && data[at] == data[0]) ++at;
    return at;
}

}  // namespace brannoc
