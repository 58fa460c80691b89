#include "media/start_codes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(StartCodes, ForbiddenZeroSequencesAreFoundWhereverTheyStand) {
    struct Case {
        const char* name;
        std::string data;
        std::size_t from;
        std::size_t found;  // npos: none
    };
    const std::string lead(20, '\x41');
    const Case cases[] = {
        {"none", lead, 0, std::string::npos},
        {"start code", lead + std::string("\0\0\1", 3) + lead, 0, 20},
        {"zero word", lead + std::string("\0\0\0\5", 4), 0, 20},
        {"00 00 02", lead + std::string("\0\0\2", 3), 0, 20},
        {"emulation prevention is allowed", lead + std::string("\0\0\3\1", 4) + lead, 0, std::string::npos},
        {"two zeros and a larger byte", lead + std::string("\0\0\x80", 3), 0, std::string::npos},
        {"at the very start", std::string("\0\0\1", 3) + lead, 0, 0},
        {"cut by the end", lead + std::string("\0\0", 2), 0, std::string::npos},
        {"before from", std::string("\0\0\1", 3) + lead + std::string("\0\0\0", 3), 1, 23},
        {"inside the eight-byte steps", std::string(9, '\x41') + std::string("\0\0\2", 3) + lead, 0, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> b = bytes(c.data);
        const std::size_t at = nextForbiddenZeros(b.data(), b.size(), c.from);
        EXPECT_EQ(at, c.found == std::string::npos ? b.size() : c.found);
    }
}

TEST(StartCodes, StartCodesAreOnlyZeroZeroOne) {
    const std::vector<std::uint8_t> b = bytes(std::string("\x41\0\0\2\x41\0\0\1\x65", 9));
    EXPECT_EQ(nextStartCode(b.data(), b.size(), 0), 5u);
}

}  // namespace
