#pragma once
// The program config element of MPEG-4 audio: which channel elements a sound has when its
// channel configuration is 0 (four-channel sound, for one). The decoder configuration carries
// it after its own fields; an ADTS stream carries it as the first element of a raw data block.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mp4/bit_reader.h"
#include "mp4/bit_writer.h"

namespace mp4 {

// Syntactic element ids of a raw data block.
enum RawElementId : int {
    kSingleChannelElement = 0,
    kChannelPairElement = 1,
    kCouplingChannelElement = 2,
    kLfeElement = 3,
    kDataStreamElement = 4,
    kProgramConfigElement = 5,
    kFillElement = 6,
    kEndElement = 7,
};

// One channel element a frame holds, in stream order.
struct ChannelElement {
    int id;   // kSingleChannelElement, kChannelPairElement or kLfeElement
    int tag;  // element instance tag, 0..15
};

struct ProgramConfig {
    struct Placed {
        bool pair;  // a channel pair, else a single channel
        int tag;
    };
    struct Coupling {
        bool independent;
        int tag;
    };
    int instanceTag = 0;
    int profile = 0;  // 2 bits: audio object type - 1
    int frequencyIndex = 0;
    std::vector<Placed> front, side, back;
    std::vector<int> lfe, dataStreams;
    std::vector<Coupling> couplings;
    int monoMixdown = -1;  // element number; -1 when there is none
    int stereoMixdown = -1;
    int matrixMixdown = -1;  // index; -1 when there is none
    bool pseudoSurround = false;
    std::vector<std::uint8_t> comment;

    // The channel elements in the order a frame holds them: front, side, back, LFE.
    std::vector<ChannelElement> channelElements() const;
    int channels() const;
};

// Reads the element's fields (its id already read). Byte alignment, which comes before the
// comment, counts from bit `origin` of the reader: the start of a raw data block or of a decoder
// configuration. False when the bytes end first.
bool readProgramConfig(BitReader& bits, std::size_t origin, ProgramConfig& out);

// Writes the element's fields (no id); byte alignment counts from the writer's first bit.
void writeProgramConfig(BitWriter& bits, const ProgramConfig& config);

// The element as the first of a raw data block: id and fields, ending on a byte boundary.
std::vector<std::uint8_t> programConfigElement(const ProgramConfig& config);

// Reads that form from `data`; `size` is then the element's length in bytes. False when the
// bytes do not start with a whole program config element.
bool readProgramConfigElement(const std::uint8_t* data, std::size_t length, ProgramConfig& out, std::size_t& size);

}  // namespace mp4
