#pragma once
// The MPEG-4 elementary stream descriptor of an 'esds' box: the decoder configuration's object
// type indication.
#include <cstdint>

#include "mp4/byte_reader.h"

namespace mp4 {

struct EsDescriptor {
    std::uint8_t objectTypeIndication = 0;
};

// `payload` is the 'esds' payload (version and flags first). False when it holds no
// ES descriptor with a decoder configuration.
bool parseEsds(ByteSpan payload, EsDescriptor& out);

}  // namespace mp4
