#include "repair/wav_header.h"

#include <gtest/gtest.h>

#include "repair/output_file.h"
#include "tests/repair/packet_bytes.h"
#include "tests/support/test_files.h"

using packetbytes::Bytes;

namespace {

// Little-endian builders for the expected headers.
struct Le {
    Bytes b;
    Le& text(const char* s) { return b.text(s), *this; }
    Le& u16(unsigned v) { return b.raw({std::uint8_t(v), std::uint8_t(v >> 8)}), *this; }
    Le& u32(std::uint32_t v) {
        return b.raw({std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)}), *this;
    }
};

std::vector<std::uint8_t> pcm(std::uint32_t riff, unsigned ch, std::uint32_t rate, std::uint32_t byteRate,
                              unsigned align, unsigned bits, std::uint32_t data) {
    Le h;
    h.text("RIFF").u32(riff).text("WAVE").text("fmt ").u32(16).u16(1).u16(ch).u32(rate).u32(byteRate).u16(align);
    h.u16(bits).text("data").u32(data);
    return h.b;
}

std::vector<std::uint8_t> adpcm(std::uint32_t riff, unsigned ch, std::uint32_t rate, std::uint32_t byteRate,
                                unsigned align, unsigned perBlock, std::uint32_t fact, std::uint32_t data) {
    Le h;
    h.text("RIFF").u32(riff).text("WAVE").text("fmt ").u32(20).u16(17).u16(ch).u32(rate).u32(byteRate);
    h.u16(align).u16(4).u16(2).u16(perBlock).text("fact").u32(4).u32(fact).text("data").u32(data);
    return h.b;
}

}  // namespace

TEST(WavHeaderTest, BytesForEachFormat) {
    const WavFormat stereo16{WavKind::Pcm, 2, 48000, 16, 0};
    const WavFormat mono24{WavKind::Pcm, 1, 44100, 24, 0};
    const WavFormat imaStereo{WavKind::ImaAdpcm, 2, 48000, 4, 1024};
    const WavFormat imaMono{WavKind::ImaAdpcm, 1, 44100, 4, 512};
    struct Case {
        const char* name;
        WavFormat format;
        bool completed;
        std::uint64_t data;
        std::vector<std::uint8_t> expected;
    };
    const std::vector<Case> cases = {
        {"pcm placeholder", stereo16, false, 0, pcm(0x7FFFFFF7, 2, 48000, 192000, 4, 16, 0x7FFFFFD3)},
        {"pcm completed", stereo16, true, 1000, pcm(1036, 2, 48000, 192000, 4, 16, 1000)},
        {"pcm empty", stereo16, true, 0, pcm(36, 2, 48000, 192000, 4, 16, 0)},
        {"pcm 24-bit mono", mono24, true, 300, pcm(336, 1, 44100, 132300, 3, 24, 300)},
        {"pcm past 4 GiB", stereo16, true, 5000000000ull, pcm(0xFFFFFFFF, 2, 48000, 192000, 4, 16, 0xFFFFFFFF)},
        {"pcm just below 4 GiB", stereo16, true, 0xFFFFFFF0ull, pcm(0xFFFFFFFF, 2, 48000, 192000, 4, 16, 0xFFFFFFF0)},
        // 1017 samples per 1024-byte stereo block: 48000 x 1024 / 1017 bytes a second.
        {"ima stereo placeholder", imaStereo, false, 0,
         adpcm(0x7FFFFFF7, 2, 48000, 48330, 1024, 1017, 0x00FFFFFF, 0x7FFFFFC3)},
        {"ima stereo completed", imaStereo, true, 2048 + 8 + 10,
         adpcm(2066 + 52, 2, 48000, 48330, 1024, 1017, 2 * 1017 + 11, 2066)},
        // Mono: (512 - 4) x 2 + 1 samples, not 512 - 7.
        {"ima mono completed", imaMono, true, 512 * 3, adpcm(1536 + 52, 1, 44100, 22201, 512, 1017, 3051, 1536)},
        {"ima past 4 GiB", imaStereo, true, 5000000000ull,
         adpcm(0xFFFFFFFF, 2, 48000, 48330, 1024, 1017, 0xFFFFFFFF, 0xFFFFFFFF)},
        {"no wav", WavFormat{}, true, 10, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(wavHeaderBytes(c.format, c.completed, c.data), c.expected);
    }
    EXPECT_EQ(pcm(0, 0, 0, 0, 0, 0, 0).size(), kPcmWavHeaderSize);
    EXPECT_EQ(adpcm(0, 0, 0, 0, 0, 0, 0, 0).size(), kAdpcmWavHeaderSize);
}

TEST(WavHeaderTest, FormatsNoAudioHasGetNoHeader) {
    struct Case {
        const char* name;
        WavFormat format;
        bool writable;
    };
    const Case cases[] = {
        {"fields at the int32 limit", {WavKind::Pcm, 3, 2147483647, 2147483647, 0}, false},
        {"negative channel count", {WavKind::Pcm, -2, 48000, 16, 0}, false},
        {"65-bit samples", {WavKind::Pcm, 2, 48000, 65, 0}, false},
        {"rate above every audio rate", {WavKind::Pcm, 2, 50000001, 16, 0}, false},
        {"more channels than any layout", {WavKind::Pcm, 1025, 48000, 16, 0}, false},
        {"block larger than the header's field", {WavKind::ImaAdpcm, 2, 48000, 4, 65536}, false},
        {"every field at its largest", {WavKind::Pcm, 1024, 50000000, 64, 0}, true},
        {"block at its largest", {WavKind::ImaAdpcm, 2, 48000, 4, 65535}, true},
        {"mono block whose samples pass the header's field", {WavKind::ImaAdpcm, 1, 48000, 4, 32772}, false},
        {"mono block whose samples just fit", {WavKind::ImaAdpcm, 1, 48000, 4, 32771}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isWritableFormat(c.format), c.writable);
        EXPECT_EQ(wavHeaderBytes(c.format, false, 0).empty(), !c.writable);
        EXPECT_EQ(wavHeaderBytes(c.format, true, 100).empty(), !c.writable);

        testsupport::TempDir dir;
        OutputFile out;
        ASSERT_TRUE(out.open(QString::fromStdString(dir.file("out-audio.wav"))));
        WavFormat written;
        const WavFormat& f = c.format;
        const bool started = f.kind == WavKind::Pcm
                                 ? writeWavHeaderPcm(out, f.bitsPerSample, f.channels, f.sampleRate, written)
                                 : writeWavHeaderAdpcm(out, 4, f.channels, f.sampleRate, f.blockAlign, written);
        EXPECT_EQ(started, c.writable);
        EXPECT_EQ(written.kind, c.writable ? f.kind : WavKind::None);
        ASSERT_TRUE(out.close());
        EXPECT_EQ(testsupport::readFile(dir.file("out-audio.wav")).empty(), !c.writable);
    }
    // The byte rate of the largest format needs more than 32 bits: it is stated as the largest.
    const std::vector<std::uint8_t> largest = wavHeaderBytes({WavKind::Pcm, 1024, 50000000, 64, 0}, false, 0);
    ASSERT_EQ(largest.size(), kPcmWavHeaderSize);
    EXPECT_EQ(std::vector<std::uint8_t>(largest.begin() + 28, largest.begin() + 32),
              (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(WavHeaderTest, SamplesPerImaBlock) {
    struct Case {
        int align, channels, expected;
    };
    for (const Case& c : std::vector<Case>{{1024, 2, 1017}, {512, 1, 1017}, {2048, 2, 2041}, {36, 1, 65},
                                            {68, 2, 61}, {8, 2, 0}, {4, 1, 0}, {1024, 0, 0},
                                            // values of a damaged description: no overflow
                                            {2147483647, 1, 0}, {1024, 1 << 30, 0}, {-5, 2, 0}}) {
        EXPECT_EQ(imaAdpcmSamplesPerBlock(c.align, c.channels), c.expected) << c.align << "/" << c.channels;
    }
}

TEST(WavHeaderTest, WrittenThenCompletedInPlace) {
    testsupport::TempDir dir;
    const std::string path = dir.file("out-audio.wav");
    OutputFile out;
    ASSERT_TRUE(out.open(QString::fromStdString(path)));
    WavFormat format;
    ASSERT_TRUE(writeWavHeaderPcm(out, 16, 2, 48000, format));
    EXPECT_EQ(format.kind, WavKind::Pcm);
    const std::vector<std::uint8_t> samples(1000, 0x42);
    ASSERT_TRUE(out.write(samples.data(), samples.size()));
    EXPECT_FALSE(finishWavHeaderAdpcm(out, format, 1000)) << "the header was started as PCM";
    ASSERT_TRUE(finishWavHeaderPcm(out, format, 1000));
    ASSERT_TRUE(out.close());

    const std::string bytes = testsupport::readFile(path);
    ASSERT_EQ(bytes.size(), 1044u);
    const std::vector<std::uint8_t> expected = pcm(1036, 2, 48000, 192000, 4, 16, 1000);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 44), expected);
    EXPECT_EQ(bytes.substr(44), std::string(1000, '\x42'));
}

TEST(WavHeaderTest, AdpcmWrittenThenCompleted) {
    testsupport::TempDir dir;
    const std::string path = dir.file("out-audio.wav");
    OutputFile out;
    ASSERT_TRUE(out.open(QString::fromStdString(path)));
    WavFormat format;
    ASSERT_TRUE(writeWavHeaderAdpcm(out, 16, 1, 44100, 512, format));
    EXPECT_EQ(format.bitsPerSample, 4);
    const std::vector<std::uint8_t> blocks(1024, 0x11);
    ASSERT_TRUE(out.write(blocks.data(), blocks.size()));
    ASSERT_TRUE(finishWavHeaderAdpcm(out, format, 1024));
    ASSERT_TRUE(out.close());
    const std::string bytes = testsupport::readFile(path);
    ASSERT_EQ(bytes.size(), 60u + 1024u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 60),
              adpcm(1024 + 52, 1, 44100, 22201, 512, 1017, 2034, 1024));
}

// An output started with another codec's header (AAC first, PCM second track) is never
// overwritten by a WAV completion.
TEST(WavHeaderTest, OutputNotStartedAsWavIsLeftAlone) {
    testsupport::TempDir dir;
    const std::string path = dir.file("out-audio.raw");
    OutputFile out;
    ASSERT_TRUE(out.open(QString::fromStdString(path)));
    const std::string adts(100, '\xF1');
    ASSERT_TRUE(out.write(adts.data(), adts.size()));
    const WavFormat none;
    EXPECT_FALSE(finishWavHeaderPcm(out, none, 100));
    EXPECT_FALSE(finishWavHeaderAdpcm(out, none, 100));
    ASSERT_TRUE(out.close());
    EXPECT_EQ(testsupport::readFile(path), adts);
}

TEST(WavHeaderTest, WriteToAClosedOutputFails) {
    OutputFile out;
    WavFormat format;
    format.kind = WavKind::Pcm;
    EXPECT_FALSE(writeWavHeaderPcm(out, 16, 2, 48000, format));
    EXPECT_EQ(format.kind, WavKind::None);
    EXPECT_FALSE(finishWavHeaderPcm(out, WavFormat{WavKind::Pcm, 2, 48000, 16, 0}, 10));
}

TEST(SwapPcmSamplesTest, Cases) {
    struct Case {
        int bits;
        std::vector<std::uint8_t> in, out;
    };
    const std::vector<Case> cases = {
        {16, {1, 2, 3, 4, 5}, {2, 1, 4, 3, 5}},
        {24, {1, 2, 3, 4, 5, 6, 7}, {3, 2, 1, 6, 5, 4, 7}},
        {32, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {4, 3, 2, 1, 8, 7, 6, 5, 9}},
        {8, {1, 2, 3}, {1, 2, 3}},
        {12, {1, 2, 3}, {1, 2, 3}},
        {32, {1, 2, 3}, {1, 2, 3}},
        {16, {}, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes = c.in;
        swapPcmSamples(c.bits, std::int64_t(bytes.size()), bytes.data());
        EXPECT_EQ(bytes, c.out) << c.bits << " bits over " << c.in.size();
    }
}
