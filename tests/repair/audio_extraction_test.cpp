#include "repair/audio_extraction.h"

#include <gtest/gtest.h>

#include "repair/output_file.h"
#include "tests/repair/packet_bytes.h"
#include "tests/support/test_files.h"

using packetbytes::Bytes;

namespace {

class AudioExtractionTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.file("out-audio.raw");
        ASSERT_TRUE(out_.open(QString::fromStdString(path_)));
        TrackRecord audio;
        audio.typeIndex = 1;
        analysis_.tracks = {audio};
        analysis_.trackCount = 1;
    }

    AudioRunOutcome hand(std::vector<std::uint8_t> run, bool first = true, int track = 0) {
        const RunFormats formats{videoCodingOf(analysis_, -1), audioCodingOf(media_, track)};
        return extractAudioRun(analysis_, media_, formats, run.data(), std::int64_t(run.size()), &out_, first, track,
                               book_, packets_);
    }
    std::string written() {
        EXPECT_TRUE(out_.flush());
        return testsupport::readFile(path_);
    }

    testsupport::TempDir dir_;
    std::string path_;
    OutputFile out_;
    AnalysisResult analysis_;
    MediaInfo media_;
    AudioRunBook book_;
    PacketList packets_;
};

using Outcome = AudioRunOutcome;
using Kind = PacketList::Kind;

}  // namespace

TEST_F(AudioExtractionTest, CompressedAudioRuns) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> run;
        Outcome outcome;
    };
    const std::vector<Case> cases = {
        {"ten zero bytes", std::vector<std::uint8_t>(10, 0), Outcome::Skipped},
        {"ADTS frame", Bytes().raw({0xFF, 0xF9}).padTo(10, 0x11), Outcome::Audio},
        {"zero word, 17 bytes", std::vector<std::uint8_t>(17, 0), Outcome::Audio},
        {"zero word, 3 bytes", std::vector<std::uint8_t>(3, 0), Outcome::Audio},
        {"one byte", {0x21}, Outcome::Audio},
        {"AVC header packet", Bytes().be32(0x00000030).text("avcC").padTo(16), Outcome::AvcHeader},
        {"avc behind a zero word", Bytes().be32(0).text("avc1").padTo(20), Outcome::Audio},
        {"largest run", std::vector<std::uint8_t>(std::size_t(kMaxAudioRun), 0x21), Outcome::Audio},
        {"longer than an audio run", std::vector<std::uint8_t>(std::size_t(kMaxAudioRun) + 1, 0x21),
         Outcome::Skipped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint64_t labels = packets_.count();
        const std::int64_t total = book_.audioTotal;
        const std::string before = written();
        EXPECT_EQ(hand(c.run), c.outcome);
        const std::string after = written();
        if (c.outcome == Outcome::Audio) {
            EXPECT_EQ(after.substr(before.size()), std::string(c.run.begin(), c.run.end()));
            EXPECT_EQ(book_.audioTotal, total + std::int64_t(c.run.size()));
            EXPECT_EQ(packets_.lastKind(), Kind::Audio);
        } else {
            EXPECT_EQ(after, before);
            EXPECT_EQ(book_.audioTotal, total);
        }
        EXPECT_EQ(packets_.count(), labels + (c.outcome == Outcome::AvcHeader ? 0 : 1));
        if (c.outcome == Outcome::Skipped) {
            EXPECT_EQ(packets_.lastKind(), Kind::Skip);
        }
    }
    EXPECT_EQ(book_.runCount, 6);
    EXPECT_EQ(book_.smallestRun, 1);
    EXPECT_EQ(book_.largestRun, kMaxAudioRun);
    EXPECT_EQ(book_.droppedBytes, kMaxAudioRun + 1) << "only dropped runs above 16 bytes count";
}

TEST_F(AudioExtractionTest, RunsNotYetDecided) {
    EXPECT_EQ(hand(std::vector<std::uint8_t>(50, 0x21), false), Outcome::Kept);
    EXPECT_EQ(hand({}), Outcome::Kept);
    EXPECT_TRUE(packets_.empty());
    EXPECT_EQ(book_.handedTotal, 0);
    EXPECT_EQ(written(), "");
}

TEST_F(AudioExtractionTest, WithoutAnAudioTrackEveryRunIsDropped) {
    EXPECT_EQ(hand(Bytes().raw({0xFF, 0xF9}).padTo(100, 1), true, -1), Outcome::Skipped);
    std::vector<std::uint8_t> run(40, 0x21);
    EXPECT_EQ(extractAudioRun(analysis_, media_, RunFormats{}, run.data(), 40, nullptr, true, 0, book_, packets_),
              Outcome::Skipped);
    EXPECT_EQ(book_.droppedBytes, 140);
    EXPECT_EQ(written(), "");
}

TEST_F(AudioExtractionTest, PcmRunsMustFillAChunk) {
    book_.chunkSampleCount = 4096;
    book_.chunkByteCount = 4096;
    EXPECT_EQ(hand(std::vector<std::uint8_t>(4000, 0x21)), Outcome::Skipped);
    EXPECT_EQ(hand(std::vector<std::uint8_t>(4096, 0x21)), Outcome::Audio);
    EXPECT_EQ(hand(std::vector<std::uint8_t>(4000000, 0x21)), Outcome::Skipped);
    EXPECT_EQ(book_.audioTotal, 4096);
    EXPECT_EQ(book_.droppedBytes, 4004000);
    EXPECT_EQ(book_.handedTotal, 4000 + 4096 + 4000000);
}

TEST_F(AudioExtractionTest, KnownRunSizesSetTheChunk) {
    struct Case {
        std::int64_t run;
        std::int32_t chunkBytes;
        std::int32_t samples;
    };
    const std::vector<Case> cases = {
        {96000, 96000, 24000},   {92160, 92160, 23040},   {96256, 96256, 24064},   {64000, 64000, 16000},
        {96096, 96096, 24024},   {184320, 184320, 46080}, {18432, 18432, 4608},    {6144, 6144, 1536},
        {276480, 276480, 46080}, {192192, 192192, 48048},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.run);
        book_.chunkSampleCount = 4096;
        book_.chunkByteCount = 4096;
        EXPECT_EQ(hand(std::vector<std::uint8_t>(std::size_t(c.run), 0x21)), Outcome::Audio);
        EXPECT_EQ(book_.chunkByteCount, c.chunkBytes);
        EXPECT_EQ(book_.samplesPerChunk, c.samples);
    }
    // The adjusted chunk stands for the runs that follow.
    EXPECT_EQ(hand(std::vector<std::uint8_t>(192192, 0x21)), Outcome::Audio);
    EXPECT_EQ(hand(std::vector<std::uint8_t>(4096, 0x21)), Outcome::Skipped);
}

TEST_F(AudioExtractionTest, BigEndianPcmIsSwappedBeforeItIsWritten) {
    media_.bigEndian = 1;
    media_.bitsPerSample = 16;
    book_.chunkSampleCount = 8;
    book_.chunkByteCount = 8;
    EXPECT_EQ(hand({1, 2, 3, 4, 5, 6, 7, 8}), Outcome::Audio);
    EXPECT_EQ(written(), std::string("\x02\x01\x04\x03\x06\x05\x08\x07", 8));
}

TEST_F(AudioExtractionTest, UncompressedRunsOfWholeSamplesAroundTheChunk) {
    struct Case {
        const char* name;
        const char* codec;
        int blockAlign;
        std::int32_t chunk;
        std::int64_t run;
        Outcome outcome;
    };
    // Stereo 16-bit PCM: four bytes a sample; IMA ADPCM: whole blocks; QuickTime IMA ADPCM: whole
    // packets of 68 bytes (the filling byte is a step index the format has).
    const std::vector<Case> cases = {
        {"pcm chunk", "pcm_s16le", 0, 8192, 8192, Outcome::Audio},
        {"pcm half a chunk", "pcm_s16le", 0, 8192, 4096, Outcome::Audio},
        {"pcm twice a chunk", "pcm_s16le", 0, 8192, 16384, Outcome::Audio},
        {"pcm a little longer", "pcm_s16le", 0, 188416, 195584, Outcome::Audio},
        {"pcm below half", "pcm_s16le", 0, 8192, 4092, Outcome::Skipped},
        {"pcm above twice", "pcm_s16le", 0, 8192, 16388, Outcome::Skipped},
        {"pcm part sample", "pcm_s16le", 0, 8192, 8190, Outcome::Skipped},
        {"adpcm block", "adpcm_ima_wav", 1024, 2048, 1024, Outcome::Audio},
        {"adpcm three blocks", "adpcm_ima_wav", 1024, 2048, 3072, Outcome::Audio},
        {"adpcm part block", "adpcm_ima_wav", 1024, 2048, 2000, Outcome::Skipped},
        {"qt chunk", "adpcm_ima_qt", 0, 2040, 2040, Outcome::Audio},
        {"qt half a chunk", "adpcm_ima_qt", 0, 2040, 1020, Outcome::Audio},
        {"qt twice a chunk", "adpcm_ima_qt", 0, 2040, 4080, Outcome::Audio},
        {"qt below half", "adpcm_ima_qt", 0, 2040, 952, Outcome::Skipped},
        {"qt above twice", "adpcm_ima_qt", 0, 2040, 4148, Outcome::Skipped},
        {"qt part packet", "adpcm_ima_qt", 0, 2040, 2000, Outcome::Skipped},
        {"qt camera PCM run size", "adpcm_ima_qt", 0, 4080, 6144, Outcome::Skipped},
        {"qt whole packets, no chunk known", "adpcm_ima_qt", 0, 0, 204, Outcome::Audio},
        {"qt part packet, no chunk known", "adpcm_ima_qt", 0, 0, 200, Outcome::Skipped},
    };
    media_.channels = 2;
    media_.bitsPerSample = 16;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        media_.audioCodecName = c.codec;
        media_.blockAlign = c.blockAlign;
        book_.chunkSampleCount = c.chunk;
        book_.chunkByteCount = c.chunk;
        EXPECT_EQ(hand(std::vector<std::uint8_t>(std::size_t(c.run), 0x21)), c.outcome);
    }
}

TEST_F(AudioExtractionTest, QtImaRunsAreWholePacketsOfBlocksThatDecode) {
    media_.audioCodecName = "adpcm_ima_qt";
    media_.channels = 2;
    book_.chunkSampleCount = 2040;
    book_.chunkByteCount = 2040;
    std::vector<std::uint8_t> badBlock(2040, 0x21);
    badBlock[34 * 7 + 1] = 0x80 | 89;  // the step index of one block is beyond the table
    EXPECT_EQ(hand(badBlock), Outcome::Skipped);

    // The chunk the end of the data cuts keeps its whole packets, however few.
    const std::vector<std::uint8_t> cut(68 * 11, 0x21);
    EXPECT_EQ(hand(cut), Outcome::Skipped) << "short of half a chunk inside the data";
    book_.dataEnded = true;
    EXPECT_EQ(hand(cut), Outcome::Audio);
    EXPECT_EQ(hand(std::vector<std::uint8_t>(68 * 11 + 30, 0x21)), Outcome::Skipped) << "a part packet still is none";
    EXPECT_EQ(written(), std::string(cut.begin(), cut.end()));
}

TEST_F(AudioExtractionTest, VideoUnitRefusedForItsSizeIsCutOffTheRun) {
    analysis_.nalStats[6] = {5, 200, 6, {0x0605}};
    const Bytes audio = Bytes().raw({0xFF, 0xF9}).padTo(100, 0x11);
    const Bytes longSei = Bytes().be32(300).raw({0x06, 0x05}).padTo(304, 0x22);
    const Bytes shortSei = Bytes().be32(150).raw({0x06, 0x05}).padTo(154, 0x22);
    const Bytes unknownType = Bytes().be32(300).raw({0x03, 0x05}).padTo(304, 0x22);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> run;
        Outcome outcome;
        std::size_t written;
    };
    auto join = [](const Bytes& a, const Bytes& b) {
        std::vector<std::uint8_t> v = a.vec();
        v.insert(v.end(), b.vec().begin(), b.vec().end());
        return v;
    };
    const std::vector<Case> cases = {
        {"audio then a long SEI", join(audio, longSei), Outcome::Audio, 100},
        {"a long SEI alone", longSei.vec(), Outcome::Skipped, 0},
        {"a SEI within its range stays", join(audio, shortSei), Outcome::Audio, 254},
        {"a type the reference never saw stays", join(audio, unknownType), Outcome::Audio, 404},
        {"a long SEI inside the run stays", join(longSei, audio), Outcome::Audio, 404},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = written().size();
        EXPECT_EQ(hand(c.run), c.outcome);
        const std::string after = written();
        ASSERT_EQ(after.size(), before + c.written);
        EXPECT_EQ(after.substr(before), std::string(c.run.begin(), c.run.begin() + std::ptrdiff_t(c.written)));
    }
}

TEST_F(AudioExtractionTest, EncoderNameFrameIsAudioAloneOrInARun) {
    media_.channels = 2;
    // The AAC encoder writes its name every 256 frames; the frame decodes as sound.
    const Bytes name = Bytes().be32(0xDE02004C).text("avc59.37.100").padTo(296, 0x11);
    EXPECT_EQ(hand(name.vec()), Outcome::Audio);
    const std::vector<std::uint8_t> chunk = Bytes(name).padTo(2000, 0x21);
    EXPECT_EQ(hand(chunk), Outcome::Audio);
    EXPECT_EQ(written().size(), name.vec().size() + chunk.size());
}
