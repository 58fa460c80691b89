#pragma once
// Stretches of one repeated byte value (holes a card left, erased flash) that are longer than the
// stream's sound runs: nothing the scan takes can start inside one, so the scan passes over it
// whole instead of refusing it byte by byte, and its bytes never reach the sound.
#include <array>
#include <cstdint>
#include <functional>

class ConstantRegions {
public:
    // Bytes around a position inside a stretch that the scan's tests read.
    static constexpr std::int64_t kWindow = 128;

    // The first position from `from` (before `limit`) whose byte is not `value`; `limit` when none.
    static std::int64_t constantUntil(const std::uint8_t* data, std::int64_t from, std::int64_t limit,
                                      std::uint8_t value);

    // Whether every test refuses a position inside a stretch of `value`, asked once per value.
    using Refusal = std::function<bool(std::uint8_t value)>;

    struct Pass {
        bool entered = false;  // a new stretch: the run before it is to be handed on first
        std::int64_t to = 0;   // the buffer position the scan goes on from
    };

    // At buffer position `p` (`base` its file offset, `valid` the bytes in the buffer): whether a
    // stretch of at least `least` bytes starts there, or the one passed over last goes on, and how
    // far the scan passes over it (never beyond `last`, nor into the bytes whose look-ahead reaches
    // past the stretch).
    bool at(const std::uint8_t* data, std::int64_t p, std::int64_t base, std::int64_t valid, std::int64_t last,
            std::int64_t least, const Refusal& refused, Pass& pass);

    // Bytes from file offset `at` that belong to the tail of the stretch last passed over (its
    // last kWindow bytes, which the scan tests one by one): 0 outside it.
    std::int64_t tailFrom(std::int64_t at) const { return at >= end_ && at < tailEnd_ ? tailEnd_ - at : 0; }

private:
    bool refusedValue(std::uint8_t value, const Refusal& refused);

    enum class Answer : std::uint8_t { Unknown, Refused, Asked };
    std::array<Answer, 256> answers_{};
    std::uint8_t value_ = 0;
    std::int64_t end_ = -1;          // where passing over stopped
    std::int64_t tailEnd_ = -1;      // where the stretch ends
    std::int64_t shortEnd_ = -1;     // end of the last stretch found too short to pass over
};
