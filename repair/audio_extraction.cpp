#include "repair/audio_extraction.h"

#include "repair/output_file.h"
#include "repair/wav_header.h"

namespace {

// Known PCM run sizes of camera files and the chunk they stand for.
struct RunSizeRow {
    std::int64_t runSize;
    std::int32_t chunkBytes;
    std::int32_t samplesPerChunk;
};
constexpr RunSizeRow kRunSizes[] = {
    {96000, 96000, 24000},   {92160, 92160, 23040},   {96256, 96256, 24064},   {64000, 64000, 16000},
    {96096, 96096, 24024},   {184320, 184320, 46080}, {18432, 18432, 4608},    {6144, 6144, 1536},
    {276480, 276480, 46080}, {192192, 192192, 48048},
};

bool zeroWord(const std::uint8_t* run, std::int64_t length) {
    return length >= 4 && run[0] == 0 && run[1] == 0 && run[2] == 0 && run[3] == 0;
}

bool isCandidate(std::int64_t length, OutputFile* out, int audioTrack, AudioRunBook& book) {
    if (audioTrack < 0 || !out || !out->isOpen() || length < 1 || length > kMaxAudioRun) return false;
    if (book.chunkSampleCount <= 0) return true;
    for (const RunSizeRow& row : kRunSizes) {
        if (row.runSize != length) continue;
        book.chunkByteCount = row.chunkBytes;
        book.samplesPerChunk = row.samplesPerChunk;
    }
    return length == book.chunkByteCount;
}

}  // namespace

AudioRunOutcome extractAudioRun(const AnalysisResult& /*analysis*/, const MediaInfo& media, std::uint8_t* run,
                                std::int64_t length, OutputFile* audioOut, bool firstPacket, int audioTrack,
                                AudioRunBook& book, PacketList& packets) {
    if (!firstPacket || length <= 0 || !run) return AudioRunOutcome::Kept;
    book.handedTotal += length;

    if (!isCandidate(length, audioOut, audioTrack, book) || (length >= 4 && length <= 16 && zeroWord(run, length))) {
        packets.addSkip();
        if (length > 16) book.droppedBytes += length;
        return AudioRunOutcome::Skipped;
    }

    if (media.bigEndian == 1) swapPcmSamples(media.bitsPerSample, length, run);
    if (length >= 7 && !zeroWord(run, length) && run[4] == 'a' && run[5] == 'v' && run[6] == 'c')
        return AudioRunOutcome::AvcHeader;

    if (!audioOut->write(run, std::size_t(length))) return AudioRunOutcome::WriteFailed;
    packets.addAudio();
    const std::int32_t size = std::int32_t(length);
    if (size < book.smallestRun) book.smallestRun = size;
    if (size > book.largestRun) book.largestRun = size;
    ++book.runCount;
    book.audioTotal += length;
    return AudioRunOutcome::Audio;
}
