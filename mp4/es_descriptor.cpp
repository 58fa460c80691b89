#include "mp4/es_descriptor.h"

#include "mp4/bit_reader.h"
#include "mp4/box_tree.h"

namespace mp4 {

namespace {

constexpr std::uint8_t kEsDescriptorTag = 0x03;
constexpr std::uint8_t kDecoderConfigTag = 0x04;
constexpr std::uint8_t kDecoderSpecificInfoTag = 0x05;
// Object type indication, stream type, buffer size and the two bit rates.
constexpr std::size_t kDecoderConfigFixedBytes = 13;

constexpr int kObjectTypeEscape = 31;
constexpr int kFrequencyEscape = 15;
constexpr int kSbrObjectType = 5;
constexpr int kPsObjectType = 29;
// Object types whose own configuration is the general audio one, which holds the program
// config element of channel configuration 0.
constexpr int kGeneralAudioTypes[] = {1, 2, 3, 4, 6, 7, 17, 19, 20, 21, 22, 23};

// A descriptor's tag and body; the size is up to four bytes of seven bits each.
bool readDescriptor(ByteReader& reader, std::uint8_t& tag, ByteSpan& body) {
    tag = reader.u8();
    std::uint32_t size = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t byte = reader.u8();
        size = (size << 7) | (byte & 0x7F);
        if (!(byte & 0x80)) break;
    }
    if (!reader.ok()) return false;
    // A size past the box is cut to what is there, as writers that pad sizes expect.
    body = reader.rest().sub(0, size);
    reader.skip(body.size);
    return true;
}

// Five bits, or 32 + six more after the escape value.
int readObjectType(BitReader& bits) {
    const int type = static_cast<int>(bits.readBits(5));
    return type == kObjectTypeEscape ? 32 + static_cast<int>(bits.readBits(6)) : type;
}

// Four bits, and the 24-bit frequency itself after the escape value.
int readFrequencyIndex(BitReader& bits, std::uint32_t& explicitFrequency) {
    const int index = static_cast<int>(bits.readBits(4));
    explicitFrequency = index == kFrequencyEscape ? bits.readBits(24) : 0;
    return index;
}

// The decoder-specific information of a decoder configuration, when it has one.
bool findDecoderSpecificInfo(ByteSpan decoderConfig, ByteSpan& info) {
    ByteReader reader(decoderConfig);
    reader.skip(kDecoderConfigFixedBytes);
    while (reader.ok() && reader.remaining() > 0) {
        std::uint8_t tag = 0;
        ByteSpan body;
        if (!readDescriptor(reader, tag, body)) return false;
        if (tag == kDecoderSpecificInfoTag) {
            info = body;
            return true;
        }
    }
    return false;
}

bool isGeneralAudio(int objectType) {
    for (int type : kGeneralAudioTypes)
        if (type == objectType) return true;
    return false;
}

// The general audio configuration up to its program config element (channel configuration 0).
std::optional<ProgramConfig> readProgramConfigOf(BitReader& bits) {
    bits.readBit();  // frame length flag
    if (bits.readBit()) bits.readBits(14);  // core coder delay
    bits.readBit();  // extension flag
    ProgramConfig config;
    if (bits.overrun() || !readProgramConfig(bits, 0, config)) return std::nullopt;
    return config;
}

}  // namespace

bool parseAudioSpecificConfig(ByteSpan bytes, AudioSpecificConfig& out) {
    BitReader bits(bytes.data, bytes.size);
    AudioSpecificConfig config;
    config.objectType = readObjectType(bits);
    config.frequencyIndex = readFrequencyIndex(bits, config.explicitFrequency);
    config.channelConfiguration = static_cast<int>(bits.readBits(4));
    if (config.objectType == kSbrObjectType || config.objectType == kPsObjectType) {
        // The extension's output rate, then the coder the extension sits on. The rate read
        // above stays: it is the core coder's, the one an ADTS header carries.
        std::uint32_t extensionFrequency = 0;
        readFrequencyIndex(bits, extensionFrequency);
        config.objectType = readObjectType(bits);
    }
    if (bits.overrun()) return false;
    if (config.channelConfiguration == 0 && isGeneralAudio(config.objectType))
        config.programConfig = readProgramConfigOf(bits);
    out = config;
    return true;
}

bool parseEsds(ByteSpan payload, EsDescriptor& out) {
    FullBox box;
    if (!readFullBox(payload, box)) return false;
    ByteReader outer(box.body);
    std::uint8_t tag = 0;
    ByteSpan es;
    if (!readDescriptor(outer, tag, es) || tag != kEsDescriptorTag) return false;
    ByteReader reader(es);
    reader.skip(2);  // ES_ID
    const std::uint8_t flags = reader.u8();
    if (flags & 0x80) reader.skip(2);             // depends on ES_ID
    if (flags & 0x40) reader.skip(reader.u8());   // URL
    if (flags & 0x20) reader.skip(2);             // OCR ES_ID
    while (reader.ok() && reader.remaining() > 0) {
        ByteSpan body;
        if (!readDescriptor(reader, tag, body)) return false;
        if (tag == kDecoderConfigTag) {
            ByteReader config(body);
            out.objectTypeIndication = config.u8();
            if (!config.ok()) return false;
            ByteSpan info;
            out.hasAudioConfig =
                findDecoderSpecificInfo(body, info) && parseAudioSpecificConfig(info, out.audioConfig);
            return true;
        }
    }
    return false;
}

}  // namespace mp4
