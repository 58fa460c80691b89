#include "mp4/program_config.h"

namespace mp4 {

namespace {

constexpr int kTagBits = 4;

std::vector<ProgramConfig::Placed> readPlaced(BitReader& bits, std::uint32_t count) {
    std::vector<ProgramConfig::Placed> placed(count);
    for (ProgramConfig::Placed& p : placed) {
        p.pair = bits.readBit() != 0;
        p.tag = static_cast<int>(bits.readBits(kTagBits));
    }
    return placed;
}

std::vector<int> readTags(BitReader& bits, std::uint32_t count) {
    std::vector<int> tags(count);
    for (int& tag : tags) tag = static_cast<int>(bits.readBits(kTagBits));
    return tags;
}

// An optional field behind its presence bit; -1 when absent.
int readOptional(BitReader& bits, int count) {
    return bits.readBit() ? static_cast<int>(bits.readBits(count)) : -1;
}

void putOptional(BitWriter& bits, int value, int count) {
    bits.put(value >= 0 ? 1 : 0, 1);
    if (value >= 0) bits.put(static_cast<std::uint32_t>(value), count);
}

void putPlaced(BitWriter& bits, const std::vector<ProgramConfig::Placed>& placed) {
    for (const ProgramConfig::Placed& p : placed) {
        bits.put(p.pair ? 1 : 0, 1);
        bits.put(static_cast<std::uint32_t>(p.tag), kTagBits);
    }
}

void putTags(BitWriter& bits, const std::vector<int>& tags) {
    for (int tag : tags) bits.put(static_cast<std::uint32_t>(tag), kTagBits);
}

}  // namespace

std::vector<ChannelElement> ProgramConfig::channelElements() const {
    std::vector<ChannelElement> elements;
    for (const auto* group : {&front, &side, &back})
        for (const Placed& p : *group) elements.push_back({p.pair ? kChannelPairElement : kSingleChannelElement, p.tag});
    for (int tag : lfe) elements.push_back({kLfeElement, tag});
    return elements;
}

int ProgramConfig::channels() const {
    int count = 0;
    for (const ChannelElement& e : channelElements()) count += e.id == kChannelPairElement ? 2 : 1;
    return count;
}

bool readProgramConfig(BitReader& bits, std::size_t origin, ProgramConfig& out) {
    ProgramConfig c;
    c.instanceTag = static_cast<int>(bits.readBits(kTagBits));
    c.profile = static_cast<int>(bits.readBits(2));
    c.frequencyIndex = static_cast<int>(bits.readBits(4));
    const std::uint32_t front = bits.readBits(4), side = bits.readBits(4), back = bits.readBits(4);
    const std::uint32_t lfe = bits.readBits(2), dataStreams = bits.readBits(3), couplings = bits.readBits(4);
    c.monoMixdown = readOptional(bits, 4);
    c.stereoMixdown = readOptional(bits, 4);
    c.matrixMixdown = readOptional(bits, 2);
    if (c.matrixMixdown >= 0) c.pseudoSurround = bits.readBit() != 0;
    c.front = readPlaced(bits, front);
    c.side = readPlaced(bits, side);
    c.back = readPlaced(bits, back);
    c.lfe = readTags(bits, lfe);
    c.dataStreams = readTags(bits, dataStreams);
    c.couplings.resize(couplings);
    for (ProgramConfig::Coupling& coupling : c.couplings) {
        coupling.independent = bits.readBit() != 0;
        coupling.tag = static_cast<int>(bits.readBits(kTagBits));
    }
    const std::size_t misaligned = (bits.position() - origin) % 8;
    if (misaligned) bits.readBits(static_cast<int>(8 - misaligned));
    c.comment.resize(bits.readBits(8));
    for (std::uint8_t& byte : c.comment) byte = static_cast<std::uint8_t>(bits.readBits(8));
    if (bits.overrun()) return false;
    out = std::move(c);
    return true;
}

void writeProgramConfig(BitWriter& bits, const ProgramConfig& c) {
    bits.put(static_cast<std::uint32_t>(c.instanceTag), kTagBits);
    bits.put(static_cast<std::uint32_t>(c.profile), 2);
    bits.put(static_cast<std::uint32_t>(c.frequencyIndex), 4);
    for (const std::size_t count : {c.front.size(), c.side.size(), c.back.size()}) bits.put(static_cast<std::uint32_t>(count), 4);
    bits.put(static_cast<std::uint32_t>(c.lfe.size()), 2);
    bits.put(static_cast<std::uint32_t>(c.dataStreams.size()), 3);
    bits.put(static_cast<std::uint32_t>(c.couplings.size()), 4);
    putOptional(bits, c.monoMixdown, 4);
    putOptional(bits, c.stereoMixdown, 4);
    putOptional(bits, c.matrixMixdown, 2);
    if (c.matrixMixdown >= 0) bits.put(c.pseudoSurround ? 1 : 0, 1);
    putPlaced(bits, c.front);
    putPlaced(bits, c.side);
    putPlaced(bits, c.back);
    putTags(bits, c.lfe);
    putTags(bits, c.dataStreams);
    for (const ProgramConfig::Coupling& coupling : c.couplings) {
        bits.put(coupling.independent ? 1 : 0, 1);
        bits.put(static_cast<std::uint32_t>(coupling.tag), kTagBits);
    }
    bits.byteAlign();
    bits.put(static_cast<std::uint32_t>(c.comment.size()), 8);
    for (std::uint8_t byte : c.comment) bits.put(byte, 8);
}

std::vector<std::uint8_t> programConfigElement(const ProgramConfig& config) {
    BitWriter bits;
    bits.put(kProgramConfigElement, 3);
    writeProgramConfig(bits, config);
    return std::move(bits.bytes());
}

bool readProgramConfigElement(const std::uint8_t* data, std::size_t length, ProgramConfig& out, std::size_t& size) {
    BitReader bits(data, length);
    if (bits.readBits(3) != kProgramConfigElement || !readProgramConfig(bits, 0, out)) return false;
    size = bits.position() / 8;
    return true;
}

}  // namespace mp4
