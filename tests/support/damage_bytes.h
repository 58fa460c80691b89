#pragma once
// Damage as memory cards and cameras leave it in a recording's media data: another file's bytes
// left in the card's free space, bytes that look like NAL units, erased flash (0xFF) and holes
// of zeros. The same damage gives the same bytes in every run, so a failure shows again.
#include <cstdint>
#include <string>

namespace testsupport {

constexpr std::int64_t kKiB = 1 << 10;
constexpr std::int64_t kMiB = 1 << 20;

enum class DamageKind {
    None,
    Random,    // bytes of no structure
    UnitLike,  // start codes, length words and delimiters with plausible NAL header bytes, in random bytes
    Run,       // one byte value over and over
    // Random bytes holding one false unit: a length word and the first bytes of the recording's
    // unit behind the damage (a header that parses), as another file's bytes hold one by chance.
    FalseUnit,
};

// Where a false unit's length word points.
enum class FalseReach {
    PastTheEnd,   // past the end of the file: it reads as the unit the file cuts off
    IntoDamage,   // into the damage, far from its end
    IntoStream,   // over the end of the damage, into the pictures behind it
};

struct Damage {
    DamageKind kind = DamageKind::None;
    std::int64_t bytes = 0;
    std::uint8_t value = 0;  // of a run
    FalseReach reach = FalseReach::PastTheEnd;
};

Damage randomBytes(std::int64_t bytes);
Damage unitLikeBytes(std::int64_t bytes);
Damage runOf(std::uint8_t value, std::int64_t bytes);
Damage falseUnit(FalseReach reach, std::int64_t bytes);

// `bytes` random bytes, the same in every run (another file's bytes, held in memory).
std::string randomContent(std::int64_t bytes);

// A short name of the damage for test names: "random_300k", "ff_2m", "unitlike_64k".
std::string damageName(const Damage& damage);

// Writes the first `keep` bytes of `source` to `target` with `damage` put in at `at` (at most
// `keep`); a long run is written without holding it in memory. False when a file fails.
bool writeDamagedCopy(const std::string& source, std::int64_t keep, std::int64_t at, const Damage& damage,
                      const std::string& target);

}  // namespace testsupport
