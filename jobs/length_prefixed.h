#pragma once
// Annex B access units rewritten as the NAL units behind four-byte big-endian lengths, the form
// an MP4 sample holds. The muxer then copies each packet as it is instead of converting it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/start_codes.h"

struct LengthPrefixedUnit {
    std::uint8_t* data = nullptr;
    std::size_t size = 0;  // 0 when the bytes could not be converted
    bool inPlace = true;   // in the caller's buffer, else in the prefixer's own
};

// Reuses its buffers from unit to unit; one per mux.
class LengthPrefixer {
public:
    // The zero bytes in front of the first start code (leading zeros, or the first byte of a
    // four-byte start code that the access unit before kept) may be overwritten: `headroom`
    // writable bytes lie before `data`. With one byte of headroom, a unit whose start codes have
    // four bytes (the first one's zero byte in front of `data`) is converted in place by writing
    // each length over its start code; any other layout (three-byte start codes, trailing
    // zeros) is converted in place when no length would overtake the bytes still to be moved,
    // and otherwise into a buffer of the prefixer's own, valid until the next call. Fails on
    // bytes other than zeros before the first start code and on a unit without NAL units.
    LengthPrefixedUnit convert(std::uint8_t* data, std::size_t size, std::size_t headroom);

private:
    std::vector<NalRange> units_;
    std::vector<std::uint8_t> spare_;
};
