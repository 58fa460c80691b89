#pragma once
// Sample description entries (stsd): the fixed fields of visual and audio entries, QuickTime
// sound description versions 1 and 2 included, and the child boxes that follow them.
#include <cstdint>
#include <vector>

#include "mp4/byte_reader.h"

namespace mp4 {

// The track's handler decides how an entry's fixed fields are laid out.
enum class EntryLayout { Visual, Audio, Other };

EntryLayout entryLayoutFor(std::uint32_t handlerType);

struct SampleEntry {
    std::uint32_t format = 0;
    EntryLayout layout = EntryLayout::Other;
    // Audio entries.
    std::uint16_t soundVersion = 0;
    std::uint32_t sampleRate = 0;   // Hz
    std::uint16_t sampleSize = 0;   // bits
    std::uint16_t channelCount = 0;
    // Visual entries.
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint16_t depth = 0;
    ByteSpan children;  // the boxes after the fixed fields
};

// The entries of an 'stsd' payload in order. Stops at the declared count or at the first entry
// that is malformed or too short for its fixed fields.
std::vector<SampleEntry> parseSampleDescriptions(ByteSpan stsdPayload, EntryLayout layout);

// The payload of the entry's child box of `type`.
bool findEntryBox(const SampleEntry& entry, std::uint32_t type, ByteSpan& payload);
// The entry's 'esds' payload, directly among its children or inside a QuickTime 'wave' box.
bool findEsds(const SampleEntry& entry, ByteSpan& payload);

}  // namespace mp4
