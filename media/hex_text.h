#pragma once
// Hexadecimal text (two upper-case digits per byte) as carried by the reference description,
// the built-in presets and the header finder, turned back into the bytes a decoder is fed.
#include <string>

#include "mp4/outcome.h"

// The bytes of `text` into `bytes`. Fails with "odd length" for an odd length, checked before
// any digit, and with "not a hex digit" for any character outside 0-9, A-F; `bytes` is then
// empty (no partial result).
Outcome hexToBytes(const std::string& text, std::string& bytes);
