#include "mp4/es_descriptor.h"

#include "mp4/box_tree.h"

namespace mp4 {

namespace {

constexpr std::uint8_t kEsDescriptorTag = 0x03;
constexpr std::uint8_t kDecoderConfigTag = 0x04;

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

}  // namespace

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
            return config.ok();
        }
    }
    return false;
}

}  // namespace mp4
