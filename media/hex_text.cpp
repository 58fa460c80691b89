#include "media/hex_text.h"

#include <array>
#include <cstdint>

namespace {

// Digit value per character, -1 for everything else; lower case is rejected on purpose, since
// every producer of these texts writes upper case.
constexpr std::array<std::int8_t, 256> makeDigitTable() {
    std::array<std::int8_t, 256> table{};
    for (auto& v : table) v = -1;
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<std::int8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<std::int8_t>(c - 'A' + 10);
    return table;
}

constexpr std::array<std::int8_t, 256> kDigit = makeDigitTable();

}  // namespace

Outcome hexToBytes(const std::string& text, std::string& bytes) {
    bytes.clear();
    if (text.size() % 2 != 0) return Outcome::failed("odd length");
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = kDigit[static_cast<unsigned char>(text[i])];
        const int low = kDigit[static_cast<unsigned char>(text[i + 1])];
        if (high < 0 || low < 0) {
            bytes.clear();
            return Outcome::failed("not a hex digit");
        }
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return Outcome::done();
}
