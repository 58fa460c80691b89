#include "repair/nal_first_test.h"

#include "repair/packet_checks.h"

bool carriesCanonSliceWord(const PresetTraits& preset, int type, const std::uint8_t* unit) {
    if (type != 1 || !preset.canonSliceWords()) return false;
    return isCanonSliceWord(mp4::be24(unit));
}
