#include "mp4/sample_entry.h"

#include "mp4/box_header.h"
#include "mp4/box_tree.h"
#include "mp4/fourcc_text.h"

namespace mp4 {

namespace {

struct HandlerLayout {
    std::uint32_t handlerType;
    EntryLayout layout;
};

const HandlerLayout kHandlerLayouts[] = {
    {fourcc("vide"), EntryLayout::Visual},
    {fourcc("soun"), EntryLayout::Audio},
};

// Bytes of the common start of every entry (reserved and data reference index).
constexpr std::size_t kEntryStart = 8;
// QuickTime sound description extensions after the version 0 fields.
constexpr std::size_t kSoundV1Extra = 16;
constexpr std::size_t kSoundV2Extra = 36;

bool readVisual(ByteReader& reader, SampleEntry& entry) {
    reader.skip(16);  // pre_defined, reserved
    entry.width = reader.u16();
    entry.height = reader.u16();
    reader.skip(4 + 4 + 4 + 2 + 32);  // resolutions, reserved, frame count, compressor name
    entry.depth = reader.u16();
    reader.skip(2);
    return reader.ok();
}

bool readAudio(ByteReader& reader, SampleEntry& entry) {
    entry.soundVersion = reader.u16();
    reader.skip(2 + 4);  // revision, vendor
    entry.channelCount = reader.u16();
    entry.sampleSize = reader.u16();
    reader.skip(2 + 2);  // compression id, packet size
    entry.sampleRate = reader.u32() >> 16;
    if (entry.soundVersion == 1) {
        reader.skip(kSoundV1Extra);
    } else if (entry.soundVersion == 2) {
        reader.skip(4);  // size of the structure
        const double rate = reader.f64();
        const std::uint32_t channels = reader.u32();
        reader.skip(4);  // always 0x7F000000
        const std::uint32_t bits = reader.u32();
        reader.skip(kSoundV2Extra - 24);
        entry.sampleRate = rate >= 0 && rate < 4294967296.0 ? static_cast<std::uint32_t>(rate) : 0;
        entry.channelCount = channels <= 0xFFFF ? static_cast<std::uint16_t>(channels) : 0;
        entry.sampleSize = bits <= 0xFFFF ? static_cast<std::uint16_t>(bits) : 0;
    }
    return reader.ok();
}

}  // namespace

EntryLayout entryLayoutFor(std::uint32_t handlerType) {
    for (const HandlerLayout& row : kHandlerLayouts)
        if (row.handlerType == handlerType) return row.layout;
    return EntryLayout::Other;
}

std::vector<SampleEntry> parseSampleDescriptions(ByteSpan stsdPayload, EntryLayout layout) {
    std::vector<SampleEntry> entries;
    FullBox box;
    if (!readFullBox(stsdPayload, box)) return entries;
    ByteReader head(box.body);
    const std::uint32_t declared = head.u32();
    if (!head.ok()) return entries;
    BoxRange range(head.rest());
    RawBox raw;
    for (std::uint32_t i = 0; i < declared && range.next(raw); ++i) {
        SampleEntry entry;
        entry.format = raw.type;
        entry.layout = layout;
        ByteReader reader(raw.payload);
        reader.skip(kEntryStart);
        bool ok = reader.ok();
        if (ok && layout == EntryLayout::Visual) ok = readVisual(reader, entry);
        if (ok && layout == EntryLayout::Audio) ok = readAudio(reader, entry);
        if (!ok) break;
        entry.children = reader.rest();
        entries.push_back(entry);
    }
    return entries;
}

bool findEntryBox(const SampleEntry& entry, std::uint32_t type, ByteSpan& payload) {
    return findBox(entry.children, type, payload);
}

bool findEsds(const SampleEntry& entry, ByteSpan& payload) {
    if (findEntryBox(entry, fourcc("esds"), payload)) return true;
    ByteSpan wave;
    return findEntryBox(entry, fourcc("wave"), wave) && findBox(wave, fourcc("esds"), payload);
}

}  // namespace mp4
