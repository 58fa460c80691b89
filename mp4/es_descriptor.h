#pragma once
// The MPEG-4 elementary stream descriptor of an 'esds' box: the decoder configuration's object
// type indication and, for MPEG-4 audio, the decoder's own description of the sound (the
// AudioSpecificConfig in the decoder-specific information).
#include <cstdint>
#include <optional>

#include "mp4/byte_reader.h"
#include "mp4/program_config.h"

namespace mp4 {

// What an AAC decoder is told about the sound. A sample entry's channel count and rate are
// often fixed values (2 channels in every 3GP entry, 2 for 5.1 sound in some MP4 writers);
// these are the ones the frames were coded with.
struct AudioSpecificConfig {
    // Audio object type of the core coder: for SBR and PS sound (types 5 and 29) the type the
    // extension signals beneath them, usually 2 (AAC LC).
    int objectType = 0;
    // Index into the sampling-frequency table, 0..14; 15 when the frequency is given explicitly.
    int frequencyIndex = 0;
    std::uint32_t explicitFrequency = 0;  // only with index 15
    int channelConfiguration = 0;         // 0: the channels are in a program config element
    // With channel configuration 0, the program config element, when it could be read.
    std::optional<ProgramConfig> programConfig = std::nullopt;
};

// Reads the fields up to the channel configuration and, for SBR/PS signalling, the core
// object type behind them; with channel configuration 0 also the program config element of an
// AAC coder's own configuration. False when the bytes end before the channel configuration.
bool parseAudioSpecificConfig(ByteSpan bytes, AudioSpecificConfig& out);

struct EsDescriptor {
    std::uint8_t objectTypeIndication = 0;
    bool hasAudioConfig = false;  // a decoder-specific information that reads as audio config
    AudioSpecificConfig audioConfig;
};

// `payload` is the 'esds' payload (version and flags first). False when it holds no
// ES descriptor with a decoder configuration. A decoder-specific information that does not
// read as an AudioSpecificConfig only leaves hasAudioConfig false.
bool parseEsds(ByteSpan payload, EsDescriptor& out);

}  // namespace mp4
