#include "repair/qt_ima_wav.h"

#include <QFile>
#include <cstdint>
#include <vector>

#include "repair/output_file.h"
#include "repair/qt_ima_decoder.h"
#include "repair/qt_ima_format.h"
#include "repair/source_file.h"
#include "repair/wav_header.h"

namespace {

// Packets read and decoded at a time: an hour of sound never lies in memory at once.
constexpr std::int64_t kPacketsAPiece = 4096;

bool decodeInto(SourceFile& packets, QtImaDecoder& decoder, int sampleRate, OutputFile& wav) {
    WavFormat written;
    if (!writeWavHeaderPcm(wav, 16, decoder.channels(), sampleRate, written)) return false;
    std::vector<std::uint8_t> piece(std::size_t(qtImaPacketBytes(decoder.channels()) * kPacketsAPiece));
    std::vector<std::uint8_t> pcm;
    std::uint64_t dataBytes = 0;
    for (;;) {
        const std::int64_t got = packets.read(piece.data(), std::int64_t(piece.size()));
        if (got < 0) return false;
        if (got == 0) break;
        pcm.clear();
        if (!decoder.decode(piece.data(), std::size_t(got), pcm) || !wav.write(pcm.data(), pcm.size())) return false;
        dataBytes += pcm.size();
    }
    return finishWavHeaderPcm(wav, written, dataBytes);
}

}  // namespace

bool writeDecodedWav(const QString& packetsPath, QtImaDecoder& decoder, int sampleRate, const QString& wavPath) {
    SourceFile packets;
    OutputFile wav;
    bool ok = decoder.isOpen() && packets.open(packetsPath) && wav.open(wavPath) &&
              decodeInto(packets, decoder, sampleRate, wav);
    ok = wav.close() && ok;
    packets.close();
    // A WAV file cut short by a failure would still read as sound that is all there.
    if (!ok) QFile::remove(wavPath);
    return ok;
}
