#include "repair/audio_extraction.h"

#include <algorithm>

#include "media/aac_frame_start.h"
#include "mp4/byte_order.h"
#include "mp4/nal_header.h"
#include "repair/output_file.h"
#include "repair/qt_ima_format.h"
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

}  // namespace

namespace {

// AAC sound opens with a raw frame, or with an ADTS header when a camera stores those.
bool opensLikeAac(const std::uint8_t* run, std::int64_t length, const mp4::ChannelElement& first) {
    if (length >= 2 && run[0] == 0xFF && (run[1] & 0xF0) == 0xF0) return true;
    return opensWithChannelElement(run, std::size_t(length), first);
}

}  // namespace

std::int64_t soundRunBound(const AudioRunBook& book) {
    std::int64_t usual = 0;
    if (book.chunkByteCount > 0) {
        usual = book.chunkByteCount;
    } else {
        std::uint64_t runs = 0;
        for (const std::uint32_t count : book.runsByLength) runs += count;
        std::uint64_t seen = 0;
        for (std::size_t power = 0; power < book.runsByLength.size() && runs > 0; ++power) {
            seen += book.runsByLength[power];
            if (10 * seen >= 9 * runs) {
                usual = std::int64_t(1) << (power + 1);
                break;
            }
        }
    }
    return std::clamp<std::int64_t>(2 * usual, kLeastSoundRunBound, kMaxAudioRun);
}

bool plausibleSoundRun(const MediaInfo& media, const RunFormats& formats, const AudioRunBook& book,
                       const std::uint8_t* run, std::int64_t available, std::int64_t length) {
    if (formats.audio == AudioCoding::None || length < 1 || length > soundRunBound(book)) return false;
    if (writesWav(formats.audio)) {
        const std::int64_t unit = audioUnit(media, formats.audio);
        return unit <= 0 || length % unit == 0;
    }
    return !formats.aacFirstElement || opensLikeAac(run, std::min(available, length), *formats.aacFirstElement);
}

std::int64_t audioUnit(const MediaInfo& media, AudioCoding coding) {
    if (coding == AudioCoding::ImaAdpcm) return std::max(media.blockAlign, 0);
    if (coding == AudioCoding::ImaAdpcmQt) return qtImaPacketBytes(media.channels);
    const std::int64_t frameBits = std::int64_t(std::max(media.channels, 0)) * std::max(media.bitsPerSample, 0);
    return frameBits % 8 == 0 ? frameBits / 8 : 0;
}

namespace {

// Muxers that cut chunks by packet or by duration make chunks of whole samples around the first
// chunk's length; runs of other lengths are no audio.
bool aroundChunk(std::int64_t length, std::int64_t chunk) { return 2 * length >= chunk && length <= 2 * chunk; }

bool isCandidate(const std::uint8_t* run, std::int64_t length, OutputFile* out, int audioTrack,
                 const MediaInfo& media, AudioCoding coding, AudioRunBook& book) {
    if (audioTrack < 0 || !out || !out->isOpen() || length < 1 || length > kMaxAudioRun) return false;
    if (coding == AudioCoding::ImaAdpcmQt) {
        // A part packet does not decode, nor does a block of a step index the format lacks, and
        // the camera run sizes below are PCM's: whole packets only, around the chunk's length
        // when the reference gave one; the chunk that the end of the data cuts keeps any whole
        // packets it still holds.
        if (!qtImaStepIndicesValid(run, length, media.channels)) return false;
        const std::int64_t chunk = book.chunkByteCount;
        return chunk <= 0 || aroundChunk(length, chunk) || (book.dataEnded && length < chunk);
    }
    if (book.chunkSampleCount <= 0) return true;
    for (const RunSizeRow& row : kRunSizes) {
        if (row.runSize != length) continue;
        book.chunkByteCount = row.chunkBytes;
        book.samplesPerChunk = row.samplesPerChunk;
    }
    if (length == book.chunkByteCount) return true;
    const std::int64_t unit = audioUnit(media, coding);
    const std::int64_t chunk = book.chunkByteCount;
    return unit > 0 && chunk > 0 && length % unit == 0 && aroundChunk(length, chunk);
}

// Length of a video unit that ends the run: a length-prefixed unit of a type the reference
// knows, reaching exactly to the run's end and longer than its type's range, i.e. one that the
// scan refused only for its size (a long SEI before the slice of the same sample). 0 for none.
std::int64_t trailingVideoUnit(const AnalysisResult& analysis, bool hevc, const std::uint8_t* run,
                               std::int64_t length) {
    for (std::int64_t at = 0; at + 5 <= length; ++at) {
        const std::int64_t payload = length - at - 4;
        if (mp4::be32(run + at) != std::uint64_t(payload)) continue;
        const std::uint8_t h = run[at + 4];
        if (h & 0x80) continue;
        const int type = mp4::nalTypeOf(h, hevc);
        const NalTypeStats& entry = analysis.nalStats[std::size_t(type)];
        if (entry.maxSize > 0 && std::uint64_t(payload) > entry.maxSize) return length - at;
    }
    return 0;
}

// A packet that opens with an AVC configuration ("avc" at bytes 5 to 7 behind a length word) is
// no sound. The AAC encoder's name frame ("Lavc..." from byte 4 on, repeated every few hundred
// frames) matches the same bytes, but it is an audio frame that decodes to sound like any other.
bool isAvcHeaderPacket(const std::uint8_t* run, std::int64_t length) {
    if (length < 7 || zeroWord(run, length) || run[4] != 'a' || run[5] != 'v' || run[6] != 'c') return false;
    return run[3] != 'L';
}

}  // namespace

AudioRunOutcome extractAudioRun(const AnalysisResult& analysis, const MediaInfo& media, const RunFormats& formats,
                                std::uint8_t* run,
                                std::int64_t handed, OutputFile* audioOut, bool firstPacket, int audioTrack,
                                AudioRunBook& book, PacketList& packets) {
    if (!firstPacket || handed <= 0 || !run) return AudioRunOutcome::Kept;
    book.handedTotal += handed;

    const std::int64_t length = handed - trailingVideoUnit(analysis, formats.hevc(), run, handed);
    const bool noAacFrame = formats.aacFirstElement && !opensLikeAac(run, length, *formats.aacFirstElement);
    if (length == 0 || !isCandidate(run, length, audioOut, audioTrack, media, formats.audio, book) ||
        (length >= 4 && length <= 16 && zeroWord(run, length)) || noAacFrame) {
        packets.addSkip();
        if (handed > 16) book.droppedBytes += handed;
        return AudioRunOutcome::Skipped;
    }

    if (media.bigEndian == 1) swapPcmSamples(media.bitsPerSample, length, run);
    if (isAvcHeaderPacket(run, length)) return AudioRunOutcome::AvcHeader;

    if (!audioOut->write(run, std::size_t(length))) return AudioRunOutcome::WriteFailed;
    packets.addAudio();
    const std::int32_t size = std::int32_t(length);
    if (size < book.smallestRun) book.smallestRun = size;
    if (size > book.largestRun) book.largestRun = size;
    ++book.runCount;
    book.audioTotal += length;
    int power = 0;
    while (power + 1 < int(book.runsByLength.size()) && (std::int64_t(2) << power) <= length) ++power;
    ++book.runsByLength[std::size_t(power)];
    return AudioRunOutcome::Audio;
}
