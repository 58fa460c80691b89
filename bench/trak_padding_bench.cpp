// Helper of track-count-bench.sh: trak_padding_bench IN.mp4 OUT.mp4 COUNT writes a copy of IN
// whose movie box ends with COUNT more empty 'trak' boxes (8 bytes each), the hostile reference
// whose description once held as many tracks as the box limit let through. The movie box must be
// the file's last box (as a plain ffmpeg MP4 has it), so that no chunk offset moves.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "mp4/byte_order.h"

namespace {

void putBe32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = char(v >> (24 - 8 * i));
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s IN.mp4 OUT.mp4 COUNT\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t count = std::strtoull(argv[3], nullptr, 10);

    std::size_t at = 0;
    std::size_t moov = std::string::npos;
    while (at + 8 <= file.size()) {
        const std::uint32_t size = mp4::be32(file.data() + at);
        if (size < 8 || at + size > file.size()) break;
        if (file.compare(at + 4, 4, "moov") == 0) moov = at;
        at += size;
    }
    if (moov == std::string::npos || moov + mp4::be32(file.data() + moov) != file.size()) {
        std::fprintf(stderr, "%s: the movie box is not the last box of the file\n", argv[1]);
        return 1;
    }
    const std::uint64_t grown = std::uint64_t(mp4::be32(file.data() + moov)) + 8 * std::uint64_t(count);
    if (grown > 0xFFFFFFFFu) {
        std::fprintf(stderr, "too many boxes for a 32-bit box size\n");
        return 1;
    }
    putBe32(file, moov, std::uint32_t(grown));
    const std::string emptyTrak("\0\0\0\x08trak", 8);
    file.reserve(file.size() + 8 * count);
    for (std::size_t i = 0; i < count; ++i) file += emptyTrak;

    std::ofstream out(argv[2], std::ios::binary);
    out.write(file.data(), std::streamsize(file.size()));
    return out ? 0 : 1;
}
