#pragma once
// Runs of one byte value: erased flash (0xFF), zeroed or never written space. No real frame
// opens with such a run (a frame's first bytes are its element ids and tags, a global gain and
// window data, which never repeat one byte value kRunWithoutFrame times), while a mono or 5.1
// decoder takes zero bytes for one single-channel element after another and spends a long
// decode on every position of a zero run. So the walk tries no frame where the bytes ahead are
// such a run, and passes over a run at memory speed.
#include <cstddef>
#include <cstdint>

namespace brannoc {

constexpr std::size_t kRunWithoutFrame = 16;

// How many of the `length` bytes at `data` repeat data[0] (0 when length is 0).
std::size_t runLength(const std::uint8_t* data, std::size_t length);

}  // namespace brannoc
