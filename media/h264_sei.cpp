#include <algorithm>

#include "media/h264_syntax.h"

namespace {

// payloadType and payloadSize: the sum of bytes read while a byte equals 255, the last included.
std::uint32_t readSeiNumber(BitReader& r) {
    std::uint32_t sum = 0;
    std::uint32_t byte;
    do {
        byte = r.readByte();
        sum += byte;
    } while (byte == 255);
    return sum;
}

}  // namespace

void readAccessUnitDelimiter(BitReader& r, H264Aud& aud) {
    aud = H264Aud{};
    aud.primary_pic_type = r.readBits(3);
    if (!r.byteAligned()) r.readTrailingBits();
}

void readSei(BitReader& r, H264Sei& sei) {
    sei = H264Sei{};
    while (!r.atEnd()) {
        H264SeiMessage message;
        message.payloadType = readSeiNumber(r);
        message.payloadSize = readSeiNumber(r);
        // Only the bytes that exist are kept: the size is untrusted, what lies past the end
        // would read as zeros anyway.
        for (std::uint64_t i = 0; i < message.payloadSize && !r.atEnd(); ++i)
            message.payload.push_back(static_cast<std::uint8_t>(r.readByte()));
        sei.messages.push_back(message);
        sei.current = std::move(message);
    }
    if (!r.byteAligned()) r.readTrailingBits();
}
