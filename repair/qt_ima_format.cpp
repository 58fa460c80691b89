#include "repair/qt_ima_format.h"

#include "repair/audio_limits.h"

std::int64_t qtImaPacketBytes(int channels) {
    if (channels <= 0 || !audioFieldInRange(AudioField::Channels, channels)) return 0;
    return std::int64_t(kQtImaBlockBytes) * channels;
}

bool qtImaStepIndicesValid(const std::uint8_t* run, std::int64_t length, int channels) {
    const std::int64_t packet = qtImaPacketBytes(channels);
    if (packet == 0 || length % packet != 0) return false;
    // The preamble is big-endian: nine bits of predictor, then the seven-bit step index.
    for (std::int64_t block = 0; block < length; block += kQtImaBlockBytes)
        if ((run[block + 1] & 0x7F) > kQtImaLargestStepIndex) return false;
    return true;
}

std::int64_t qtImaChunkBytes(std::int64_t sampleSize, std::int64_t samplesPerChunk, int channels) {
    const std::int64_t packet = qtImaPacketBytes(channels);
    if (packet == 0 || sampleSize <= 0 || samplesPerChunk <= 0) return 0;
    if (sampleSize % packet == 0) return sampleSize * samplesPerChunk;
    return (samplesPerChunk + kQtImaBlockSamples - 1) / kQtImaBlockSamples * packet;
}
