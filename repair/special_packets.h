#pragma once
// Camera-specific packets interleaved with the video: time-code runs, metadata boxes, fragment
// headers, vendor records. Recognised by fixed byte patterns so the scan can skip them whole.
#include <cstdint>
#include <string>

#include "repair/preset_traits.h"
#include "repair/special_kind.h"

// The repair scan and the diagnostic's frame finder each differ in one box-like rule.
enum class AtomsVariant { Repair, Diagnostic };

// Outputs of one check. The caller resets `skip` before each call; a matching rule overwrites
// skip, kind and tag (the last matching rule decides), a rule yielding skip 0 leaves kind and tag
// alone.
struct AtomCheck {
    std::int64_t skip = 0;            // bytes from the position; 0 when nothing was recognised
    SpecialKind kind = SpecialKind::CameraRecord;
    std::string tag;                  // bracketed name of the packet, for display
    std::int64_t announcedJunk = -1;  // set by one Ambarella rule only; -1 = not announced
};

// Recognises a special packet at `pos` of `buf`, of which `valid` bytes may be read. `w0` is the
// big-endian word at `pos` (the caller has it already). A word that would lie past `valid` never
// matches, and counting runs end at `valid`. Never throws.
void specificAtomsChecker(const std::uint8_t* buf, std::int64_t valid, std::int64_t pos, std::uint32_t w0,
                          const PresetTraits& preset, AtomsVariant variant, AtomCheck& out);
