#pragma once
// Views of test byte strings for the layer's span-based parsers.
#include <string>

#include "mp4/byte_reader.h"

inline mp4::ByteSpan spanOf(const std::string& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}
// The payload of a box built by the box builder (its 8-byte header skipped).
inline mp4::ByteSpan payloadOf(const std::string& box) { return spanOf(box).from(8); }
inline std::string textOf(mp4::ByteSpan span) { return std::string(reinterpret_cast<const char*>(span.data), span.size); }
