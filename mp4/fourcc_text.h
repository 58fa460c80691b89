#pragma once
// Four-character codes: as numbers for box and format types, and as text for names shown to
// users and written into documents.
#include <cstdint>
#include <string>

namespace mp4 {

// A four-character code as a number, first character in the high byte.
constexpr std::uint32_t fourcc(const char (&code)[5]) {
    return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
           (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

// The four characters of `code`, first character from the high byte; a byte outside
// printable ASCII (0x20..0x7E) shows as '.', so damaged codes never put control bytes in text.
std::string fourccText(std::uint32_t code);

}  // namespace mp4
