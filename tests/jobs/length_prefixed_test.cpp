// Annex B access units rewritten as length-prefixed NAL units, in every layout a stream may use.
#include <gtest/gtest.h>

#include <string>

#include "jobs/length_prefixed.h"

namespace {

struct PrefixCase {
    const char* name;
    std::string annexB;  // the unit as read, after `headroom` bytes in front
    std::size_t headroom;
    std::string expected;  // empty when the unit cannot be converted
    bool inPlace;
};
void PrintTo(const PrefixCase& c, std::ostream* os) { *os << c.name; }
class LengthPrefixing : public ::testing::TestWithParam<PrefixCase> {};

std::string b(std::initializer_list<int> bytes) {
    std::string s;
    for (int v : bytes) s.push_back(static_cast<char>(v));
    return s;
}
const std::string k4 = b({0, 0, 0, 1}), k3 = b({0, 0, 1});
std::string len(std::size_t n) { return b({0, 0, int(n >> 8), int(n & 0xFF)}); }

}  // namespace

TEST_P(LengthPrefixing, GivesEachUnitBehindItsLength) {
    const PrefixCase& c = GetParam();
    // The headroom holds what the unit before left there: the zero byte of this unit's first
    // start code where the stream has one.
    std::string buffer = std::string(c.headroom, '\0') + c.annexB;
    LengthPrefixer prefixer;
    auto* data = reinterpret_cast<std::uint8_t*>(&buffer[c.headroom]);
    const LengthPrefixedUnit out = prefixer.convert(data, c.annexB.size(), c.headroom);
    if (c.expected.empty()) {
        EXPECT_EQ(out.size, 0u);
        return;
    }
    ASSERT_GT(out.size, 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data), out.size), c.expected);
    EXPECT_EQ(out.inPlace, c.inPlace);
    if (out.inPlace) {
        EXPECT_GE(out.data, reinterpret_cast<std::uint8_t*>(&buffer[0]));
        EXPECT_LE(out.data + out.size, reinterpret_cast<std::uint8_t*>(&buffer[0]) + buffer.size());
    }
}

const std::string kSps = b({0x67, 0x64, 0x00, 0x1F}), kPps = b({0x68, 0xEB, 0xE3}), kSlice = b({0x65, 0x88, 0x84, 0x00, 0x21});

INSTANTIATE_TEST_SUITE_P(
    Layouts, LengthPrefixing,
    ::testing::Values(
        // As the engine's units are read: the first start code's zero byte ended the unit
        // before, the next unit's zero byte ends this one.
        PrefixCase{"engine_unit", k3 + kSps + k4 + kPps + k4 + kSlice + b({0}), 1,
                   len(4) + kSps + len(3) + kPps + len(5) + kSlice, true},
        PrefixCase{"whole_four_byte_codes", k4 + kSps + k4 + kSlice, 0, len(4) + kSps + len(5) + kSlice, true},
        PrefixCase{"three_byte_codes", k3 + kSps + k3 + kPps + k3 + kSlice, 0,
                   len(4) + kSps + len(3) + kPps + len(5) + kSlice, false},
        // Trailing zeros make room for the three-byte code behind them.
        PrefixCase{"trailing_zeros_then_three_byte_code", k4 + kSps + b({0, 0}) + k3 + kSlice, 0,
                   len(4) + kSps + len(5) + kSlice, true},
        PrefixCase{"leading_zeros", b({0, 0, 0, 0}) + k3 + kSlice, 0, len(5) + kSlice, true},
        // A zero inside a unit that is no start code stays in it.
        PrefixCase{"zero_pair_inside", k4 + b({0x65, 0, 0, 3, 0}) + b({0x11}), 0, len(6) + b({0x65, 0, 0, 3, 0, 0x11}),
                   true},
        PrefixCase{"empty_unit_skipped", k4 + k4 + kSlice, 0, len(5) + kSlice, true},
        PrefixCase{"bytes_before_the_first_code", b({0x12}) + k4 + kSlice, 0, "", true},
        PrefixCase{"no_start_code", kSlice, 0, "", true},
        PrefixCase{"only_zeros", b({0, 0, 0, 0, 0}), 0, "", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LengthPrefixing, LongUnitsGetAllFourLengthBytes) {
    const std::string body = b({0x65}) + std::string(70000, '\x5A');
    std::string buffer = b({0}) + k3 + body;
    LengthPrefixer prefixer;
    const LengthPrefixedUnit out =
        prefixer.convert(reinterpret_cast<std::uint8_t*>(&buffer[1]), buffer.size() - 1, 1);
    ASSERT_EQ(out.size, 4 + body.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data), 4), b({0, 1, 0x11, 0x71}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data) + 4, body.size()), body);
}
