#pragma once
// Hexadecimal text (two upper-case digits per byte) as carried by the reference description,
// the built-in presets and the header finder, turned back into the bytes a decoder is fed.
#include <string>

// Bytes of `text`. Throws std::invalid_argument("odd length") for an odd length, checked before
// any digit, and std::invalid_argument("not a hex digit") for any character outside 0-9, A-F.
std::string hexToBytes(const std::string& text);
