#pragma once
// The engine's WAV output for QuickTime IMA ADPCM: the scan keeps the whole packets it takes in
// a file of their own, and after the scan they are decoded in order into a 16-bit PCM WAV file,
// which the job encodes like any PCM sound.
#include <QString>

class QtImaDecoder;

// Writes `wavPath` from the packets in `packetsPath` with the open `decoder` at `sampleRate`:
// the PCM header, every sample, the completed sizes. False, leaving no WAV file, when the packets
// cannot be read, a packet does not decode or the WAV cannot be written.
bool writeDecodedWav(const QString& packetsPath, QtImaDecoder& decoder, int sampleRate, const QString& wavPath);
