#include "mp4/rbsp.h"

namespace mp4 {

std::vector<std::uint8_t> rbspOf(ByteSpan unit, std::size_t offset, std::size_t limit) {
    std::vector<std::uint8_t> out;
    int zeros = 0;
    for (std::size_t i = offset; i < unit.size && out.size() < limit; ++i) {
        const std::uint8_t b = unit.data[i];
        if (zeros >= 2 && b == 3) {
            zeros = 0;
            continue;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        out.push_back(b);
    }
    return out;
}

}  // namespace mp4
