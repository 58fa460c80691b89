#include "media/hex_text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>
#include <string>

namespace {

struct HexCase {
    const char* text;
    std::string bytes;  // expected result when `error` is null
    const char* error;  // expected message, or null
};

// Letters and digits stay, any other byte becomes xHH.
std::string readableText(const std::string& text) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char ch : text) {
        if (std::isalnum(ch)) {
            out += static_cast<char>(ch);
        } else {
            out += 'x';
            out += kDigits[ch >> 4];
            out += kDigits[ch & 0xF];
        }
    }
    return out;
}

// The text as a C literal: printable characters stay, other bytes are escaped.
void PrintTo(const HexCase& c, std::ostream* os) {
    static const char kDigits[] = "0123456789ABCDEF";
    *os << '"';
    for (const unsigned char ch : std::string(c.text)) {
        if (std::isprint(ch) && ch != '"' && ch != '\\')
            *os << static_cast<char>(ch);
        else
            *os << "\\x" << kDigits[ch >> 4] << kDigits[ch & 0xF];
    }
    *os << '"';
}

// The prefix keeps an all-digit text from reading as a bare case index.
std::string hexCaseName(const ::testing::TestParamInfo<HexCase>& info) {
    const std::string text = info.param.text;
    return text.empty() ? "empty" : "text_" + readableText(text);
}

class HexToBytes : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexToBytes, ConvertsOrRejects) {
    const HexCase& c = GetParam();
    std::string bytes = "left from before";
    const Outcome outcome = hexToBytes(c.text, bytes);
    if (!c.error) {
        EXPECT_TRUE(outcome) << outcome.reason();
        EXPECT_EQ(bytes, c.bytes);
        return;
    }
    EXPECT_FALSE(outcome);
    EXPECT_EQ(outcome.reason(), c.error);
    EXPECT_EQ(bytes, "") << "no partial result";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HexToBytes,
    ::testing::Values(HexCase{"", "", nullptr},
                      HexCase{"00000001", std::string("\0\0\0\1", 4), nullptr},
                      HexCase{"FF", "\xFF", nullptr},
                      HexCase{"0123456789ABCDEF", "\x01\x23\x45\x67\x89\xAB\xCD\xEF", nullptr},
                      HexCase{"0a", "", "not a hex digit"},      // lower case is refused
                      HexCase{"ABC", "", "odd length"},          // length is tested before digits
                      HexCase{"G0", "", "not a hex digit"},
                      HexCase{"0G", "", "not a hex digit"},
                      HexCase{"0x10", "", "not a hex digit"},
                      HexCase{" 0", "", "not a hex digit"},      // no trimming
                      HexCase{"\xC3\x80", "", "not a hex digit"},  // high-bit characters
                      HexCase{"abc", "", "odd length"}),
    hexCaseName);

}  // namespace
