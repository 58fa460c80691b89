#include "tests/support/damage_bytes.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <vector>

#include "tests/support/test_files.h"

namespace testsupport {

namespace {

constexpr std::int64_t kPiece = 1 << 20;
constexpr std::uint64_t kSeed = 0x5eedda3a9e;

// A NAL header a camera's stream holds, with the lengths its units have there.
struct UnitHeader {
    std::vector<std::uint8_t> bytes;
    std::uint32_t minLength;
    std::uint32_t maxLength;
};
const UnitHeader kUnitHeaders[] = {
    {{0x09, 0x10}, 2, 2},          // H.264 access unit delimiter: with its length word 00 00 00 02 09 10
    {{0x65, 0x88}, 2000, 20000},   // H.264 IDR slice
    {{0x41, 0x9A}, 200, 6000},     // H.264 P slice
    {{0x06, 0x05}, 16, 800},       // H.264 SEI, user data
    {{0x67}, 10, 40},              // H.264 sequence parameter set
    {{0x68}, 4, 10},               // H.264 picture parameter set
    {{0x40, 0x01}, 20, 30},        // H.265 video parameter set
    {{0x42, 0x01}, 30, 100},       // H.265 sequence parameter set
    {{0x26, 0x01}, 2000, 20000},   // H.265 IDR slice
    {{0x02, 0x01}, 100, 6000},     // H.265 trailing slice
};
// Random bytes between two of them: a few hundred units in 64 KB.
constexpr std::int64_t kLongestGap = 256;

std::string randomString(std::mt19937_64& rng, std::int64_t bytes) {
    std::string out(static_cast<std::size_t>(bytes), '\0');
    for (std::int64_t i = 0; i < bytes; i += 8) {
        const std::uint64_t word = rng();
        std::copy_n(reinterpret_cast<const char*>(&word), std::min<std::int64_t>(8, bytes - i), out.begin() + i);
    }
    return out;
}

void putWord(std::string& out, std::int64_t at, std::uint32_t word) {
    for (int k = 0; k < 4; ++k) out[static_cast<std::size_t>(at + k)] = char(word >> (24 - 8 * k));
}

// Units of every kind at random places in random bytes. A length word's unit ends inside the
// damage and never where another one starts: each false unit is followed by what no stream
// holds, as it is in the free space of a card.
std::string unitLikeString(std::int64_t bytes) {
    std::mt19937_64 rng(kSeed);
    std::string out = randomString(rng, bytes);
    struct Placed {
        std::int64_t at;
        const UnitHeader* header;
        bool lengthWord;
    };
    std::vector<Placed> placed;
    std::set<std::int64_t> starts;
    std::int64_t at = std::int64_t(rng() % kLongestGap);
    while (at + 6 <= bytes) {
        const UnitHeader& header = kUnitHeaders[rng() % std::size(kUnitHeaders)];
        if (at + 4 + std::int64_t(header.bytes.size()) > bytes) break;
        placed.push_back({at, &header, rng() % 3 != 0});
        starts.insert(at);
        std::copy(header.bytes.begin(), header.bytes.end(), out.begin() + at + 4);
        at += 4 + std::int64_t(header.bytes.size()) + std::int64_t(rng() % kLongestGap);
    }
    for (const Placed& p : placed) {
        std::int64_t length = -1;
        const std::int64_t room = bytes - p.at - 5;  // the unit ends before the damage does
        if (p.lengthWord && room >= p.header->minLength) {
            const std::int64_t longest = std::min<std::int64_t>(p.header->maxLength, room);
            length = p.header->minLength + std::int64_t(rng() % std::uint64_t(longest - p.header->minLength + 1));
            while (length <= longest && starts.count(p.at + 4 + length) != 0) ++length;
            if (length > longest) length = -1;
        }
        putWord(out, p.at, length < 0 ? 1 : std::uint32_t(length));  // else a start code
    }
    return out;
}

// Random bytes with a false unit in them: `header` (a real unit's first bytes) behind a length
// word that reaches as `reach` says; `after` bytes of the file follow the damage.
std::string falseUnitString(std::int64_t bytes, FalseReach reach, const std::string& header, std::int64_t after) {
    std::mt19937_64 rng(kSeed);
    std::string out = randomString(rng, bytes);
    constexpr std::int64_t kInto = 1000;  // where it stands, counted from the damage's edge
    std::int64_t at = kInto;
    std::int64_t length = 0;
    switch (reach) {
    case FalseReach::PastTheEnd: length = bytes - at - 4 + after + 1; break;
    case FalseReach::IntoDamage: length = bytes - at - 4 - bytes / 4; break;
    case FalseReach::IntoStream:
        at = bytes - kInto;
        length = 20 * kInto;
        break;
    }
    putWord(out, at, std::uint32_t(length));
    std::copy_n(header.begin(), std::min<std::int64_t>(std::int64_t(header.size()), bytes - at - 4), out.begin() + at + 4);
    return out;
}

bool writeDamage(std::ofstream& out, const Damage& damage, const std::string& behind, std::int64_t after) {
    if (damage.kind == DamageKind::FalseUnit) {
        const std::string bytes = falseUnitString(damage.bytes, damage.reach, behind, after);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        return bool(out);
    }
    if (damage.kind == DamageKind::UnitLike) {
        const std::string bytes = unitLikeString(damage.bytes);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        return bool(out);
    }
    if (damage.kind == DamageKind::Run && damage.value == 0) {
        out.seekp(damage.bytes, std::ios::cur);  // a hole in the file; the size is set at the end
        return bool(out);
    }
    std::mt19937_64 rng(kSeed);
    const std::string run(static_cast<std::size_t>(std::min(kPiece, damage.bytes)), char(damage.value));
    for (std::int64_t left = damage.bytes; left > 0 && out; left -= kPiece) {
        const std::int64_t piece = std::min(left, kPiece);
        if (damage.kind == DamageKind::Random)
            out.write(randomString(rng, piece).data(), piece);
        else
            out.write(run.data(), piece);
    }
    return bool(out);
}

}  // namespace

std::string randomContent(std::int64_t bytes) {
    std::mt19937_64 rng(kSeed);
    return randomString(rng, bytes);
}

Damage randomBytes(std::int64_t bytes) { return {DamageKind::Random, bytes, 0}; }
Damage unitLikeBytes(std::int64_t bytes) { return {DamageKind::UnitLike, bytes, 0}; }
Damage runOf(std::uint8_t value, std::int64_t bytes) { return {DamageKind::Run, bytes, value}; }
Damage falseUnit(FalseReach reach, std::int64_t bytes) { return {DamageKind::FalseUnit, bytes, 0, reach}; }

std::string damageName(const Damage& damage) {
    std::string kind;
    switch (damage.kind) {
    case DamageKind::None: return "undamaged";
    case DamageKind::Random: kind = "random"; break;
    case DamageKind::UnitLike: kind = "unitlike"; break;
    case DamageKind::Run: kind = damage.value == 0 ? "zeros" : damage.value == 0xFF ? "ff" : "run"; break;
    case DamageKind::FalseUnit:
        kind = damage.reach == FalseReach::PastTheEnd   ? "false_unit_past_the_end"
               : damage.reach == FalseReach::IntoDamage ? "false_unit_into_damage"
                                                        : "false_unit_into_stream";
        break;
    }
    const std::int64_t n = damage.bytes;
    const std::string size = n % (1 << 20) == 0 ? std::to_string(n >> 20) + "m"
                             : n % 1024 == 0    ? std::to_string(n >> 10) + "k"
                                                : std::to_string(n);
    return kind + "_" + size;
}

bool writeDamagedCopy(const std::string& source, std::int64_t keep, std::int64_t at, const Damage& damage,
                      const std::string& target) {
    const std::string bytes = readFile(source);
    if (keep > std::int64_t(bytes.size()) || at < 0 || at > keep) return false;
    {
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), at);
        // The unit behind the damage, from its NAL header on: a false unit borrows its first bytes.
        const std::string behind = bytes.substr(std::size_t(std::min(at + 4, keep)), 100);
        if (damage.kind != DamageKind::None && !writeDamage(out, damage, behind, keep - at)) return false;
        out.write(bytes.data() + at, keep - at);
        if (!out) return false;
    }
    std::error_code ec;
    std::filesystem::resize_file(target, std::uintmax_t(keep + (damage.kind == DamageKind::None ? 0 : damage.bytes)), ec);
    return !ec;
}

}  // namespace testsupport
