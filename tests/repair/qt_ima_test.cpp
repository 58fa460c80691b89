// QuickTime IMA ADPCM in the engine: the packet and chunk sizes the run decisions go by, the
// decoder against the ffmpeg tool's, and the PCM WAV file the packets become.
#include <gtest/gtest.h>

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "mp4/byte_order.h"
#include "repair/qt_ima_decoder.h"
#include "repair/qt_ima_format.h"
#include "repair/qt_ima_wav.h"
#include "tests/repair/packet_bytes.h"
#include "tests/support/clip_packets.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_frames.h"

using namespace testsupport;
using packetbytes::qtImaBlocks;

namespace {

TEST(QtImaFormatTest, PacketAndChunkBytes) {
    struct Case {
        const char* name;
        std::int64_t sampleSize, samplesPerChunk;
        int channels;
        std::int64_t packet, chunk;
    };
    const std::vector<Case> cases = {
        {"the ffmpeg tool counts stereo packets", 68, 30, 2, 68, 2040},
        {"mono packets", 34, 30, 1, 34, 1020},
        {"a sample of two packets", 136, 15, 2, 68, 2040},
        {"QuickTime counts sample frames", 1, 1920, 2, 68, 2040},
        {"frames that end inside a packet", 1, 1900, 2, 68, 2040},
        {"six channels of frames", 1, 640, 6, 204, 2040},
        {"variable sample sizes", 0, 30, 2, 68, 0},
        {"no chunk table", 68, 0, 2, 68, 0},
        {"no channels", 68, 30, 0, 0, 0},
        {"more channels than any format", 68, 30, 1025, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(qtImaPacketBytes(c.channels), c.packet);
        EXPECT_EQ(qtImaChunkBytes(c.sampleSize, c.samplesPerChunk, c.channels), c.chunk);
    }
}

TEST(QtImaFormatTest, EveryBlockNeedsAStepIndexTheFormatHas) {
    struct Case {
        const char* name;
        std::string run;
        int channels;
        bool valid;
    };
    const std::string last = qtImaBlocks(3) + qtImaBlocks(1, kQtImaLargestStepIndex);
    const std::vector<Case> cases = {
        {"stereo packets", qtImaBlocks(6), 2, true},
        {"the largest step index in the last block", last, 2, true},
        {"one step index too large", qtImaBlocks(3) + qtImaBlocks(1, kQtImaLargestStepIndex + 1), 2, false},
        {"a part packet", qtImaBlocks(3), 2, false},
        {"mono blocks", qtImaBlocks(3), 1, true},
        {"no channels", qtImaBlocks(2), 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto* run = reinterpret_cast<const std::uint8_t*>(c.run.data());
        EXPECT_EQ(qtImaStepIndicesValid(run, std::int64_t(c.run.size()), c.channels), c.valid);
    }
}

// The audio packets of a clip of QuickTime IMA ADPCM, in file order.
std::string audioPackets(const std::string& clipPath) {
    const std::string bytes = readFile(clipPath);
    std::string packets;
    for (const clippackets::MediaPacket& p : clippackets::packetsOf(clipPath))
        if (p.audio) packets += bytes.substr(std::size_t(p.pos), std::size_t(p.size));
    return packets;
}

class QtImaDecoderTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ClipSettings settings = clipSettings(VideoCodec::None, AudioCodec::ImaAdpcmQt, Container::Mov);
        settings.seconds = 1;
        settings.audioChannels = GetParam();
        const std::string path = clip(settings);
        ASSERT_FALSE(path.empty());
        packets_ = audioPackets(path);
        expected_ = decodedSound(path);
        ASSERT_EQ(packets_.size() % std::size_t(qtImaPacketBytes(GetParam())), 0u);
        ASSERT_FALSE(expected_.empty());
    }
    const std::uint8_t* bytes(std::size_t at = 0) const {
        return reinterpret_cast<const std::uint8_t*>(packets_.data()) + at;
    }
    std::string asText(const std::vector<std::uint8_t>& pcm) const { return std::string(pcm.begin(), pcm.end()); }

    std::string packets_;
    std::string expected_;
};

// The same samples as the tool's, however the packets are handed over: the decoder's state goes
// on from one call to the next.
TEST_P(QtImaDecoderTest, GivesTheToolsSamples) {
    const int channels = GetParam();
    const std::size_t packet = std::size_t(qtImaPacketBytes(channels));
    QtImaDecoder whole;
    ASSERT_TRUE(whole.open(channels, 48000));
    std::vector<std::uint8_t> pcm;
    ASSERT_TRUE(whole.decode(bytes(), packets_.size(), pcm));
    EXPECT_TRUE(asText(pcm) == expected_) << pcm.size() << " bytes decoded, the tool gave " << expected_.size();

    QtImaDecoder pieces;
    ASSERT_TRUE(pieces.open(channels, 48000));
    std::vector<std::uint8_t> joined;
    const std::size_t first = 7 * packet;
    ASSERT_TRUE(pieces.decode(bytes(), first + packet / 2, joined)) << "a part packet is left out";
    EXPECT_EQ(joined.size(), std::size_t(7 * kQtImaBlockSamples * 2 * channels));
    ASSERT_TRUE(pieces.decode(bytes(first), packets_.size() - first, joined));
    EXPECT_TRUE(joined == pcm);
}

INSTANTIATE_TEST_SUITE_P(Channels, QtImaDecoderTest, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("mono") : std::string("stereo");
                         });

TEST(QtImaDecoderOpenTest, RefusesFormatsItCannotDecode) {
    QtImaDecoder decoder;
    std::vector<std::uint8_t> pcm;
    const std::string bytes = qtImaBlocks(2);
    const std::vector<std::uint8_t> packet(bytes.begin(), bytes.end());
    EXPECT_FALSE(decoder.decode(packet.data(), packet.size(), pcm)) << "not open";
    EXPECT_FALSE(decoder.open(0, 48000));
    EXPECT_FALSE(decoder.open(1025, 48000));
    EXPECT_FALSE(decoder.isOpen());
    EXPECT_TRUE(pcm.empty());
}

TEST(QtImaWavTest, PacketsBecomeACompletedPcmWav) {
    TempDir dir;
    const std::string packets = dir.file("out-audio.ima4");
    const std::string wavPath = dir.file("out-audio.wav");
    ASSERT_TRUE(writeFile(packets, qtImaBlocks(2 * 5)));
    QtImaDecoder decoder;
    ASSERT_TRUE(decoder.open(2, 44100));
    ASSERT_TRUE(writeDecodedWav(QString::fromStdString(packets), decoder, 44100, QString::fromStdString(wavPath)));
    const std::string wav = readFile(wavPath);
    const std::uint32_t data = 5 * 64 * 4;
    ASSERT_EQ(wav.size(), 44u + data);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(mp4::le32(wav.data() + 4), 36 + data);
    EXPECT_EQ(mp4::le32(wav.data() + 24), 44100u);
    EXPECT_EQ(mp4::le32(wav.data() + 28), 44100u * 4) << "byte rate of 16-bit stereo";
    EXPECT_EQ(static_cast<unsigned char>(wav[22]), 2u);
    EXPECT_EQ(static_cast<unsigned char>(wav[34]), 16u);
    EXPECT_EQ(mp4::le32(wav.data() + 40), data);
}

TEST(QtImaWavTest, AFailureLeavesNoWav) {
    TempDir dir;
    const std::string wavPath = dir.file("out-audio.wav");
    QtImaDecoder open;
    ASSERT_TRUE(open.open(2, 48000));
    EXPECT_FALSE(writeDecodedWav(QString::fromStdString(dir.file("missing.ima4")), open, 48000,
                                 QString::fromStdString(wavPath)));
    EXPECT_FALSE(fileExists(wavPath));

    const std::string packets = dir.file("out-audio.ima4");
    ASSERT_TRUE(writeFile(packets, qtImaBlocks(2)));
    QtImaDecoder closed;
    EXPECT_FALSE(writeDecodedWav(QString::fromStdString(packets), closed, 48000, QString::fromStdString(wavPath)));
    EXPECT_FALSE(fileExists(wavPath));

    // A block the decoder refuses.
    ASSERT_TRUE(writeFile(packets, qtImaBlocks(1) + qtImaBlocks(1, kQtImaLargestStepIndex + 2)));
    EXPECT_FALSE(writeDecodedWav(QString::fromStdString(packets), open, 48000, QString::fromStdString(wavPath)));
    EXPECT_FALSE(fileExists(wavPath));
}

}  // namespace
