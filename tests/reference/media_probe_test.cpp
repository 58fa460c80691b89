#include <gtest/gtest.h>

#include <iostream>

#include "reference/media_probe.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

using namespace testsupport;

namespace {

ClipSettings audioOnly(AudioCodec codec, Container container) {
    ClipSettings settings = clipSettings(VideoCodec::None, codec, container);
    settings.seconds = 1;
    return settings;
}

}  // namespace

TEST(MediaProbe, AudioFormatAndByteOrder) {
    ClipSettings pcmThenAac = audioOnly(AudioCodec::PcmS16be, Container::Mov);
    pcmThenAac.extraArgs = {"-map", "0:a", "-map", "0:a", "-c:a:1", "aac"};
    const struct {
        const char* what;
        ClipSettings settings;
        const char* decoder;
        int bits;
        int little;
        int big;
    } cases[] = {
        {"AAC", audioOnly(AudioCodec::Aac, Container::Mp4), "aac", 16, 0, 0},
        {"'twos' PCM", audioOnly(AudioCodec::PcmS16be, Container::Mov), "pcm_s16be", 16, 0, 1},
        {"'sowt' PCM", audioOnly(AudioCodec::PcmS16le, Container::Mov), "pcm_s16le", 16, 1, 0},
        {"24-bit PCM", audioOnly(AudioCodec::PcmS24le, Container::Mov), "pcm_s24le", 24, 1, 0},
        {"IMA ADPCM", audioOnly(AudioCodec::ImaAdpcmQt, Container::Mov), "adpcm_ima_qt", 4, 0, 0},
        // A later stream names the codec; only a signed PCM decoder changes the byte order.
        {"'twos' PCM, then AAC", pcmThenAac, "aac", 16, 0, 1},
    };
    for (const auto& c : cases) {
        const std::string path = clip(c.settings);
        ASSERT_FALSE(path.empty());
        MediaInfo info;
        ASSERT_TRUE(probeMediaInfo(path, info)) << c.what;
        EXPECT_EQ(info.audioCodecName, c.decoder) << c.what;
        EXPECT_EQ(info.sampleRate, 48000) << c.what;
        EXPECT_EQ(info.channels, 2) << c.what;
        EXPECT_EQ(info.bitsPerSample, c.bits) << c.what;
        EXPECT_EQ(info.littleEndian, c.little) << c.what;
        EXPECT_EQ(info.bigEndian, c.big) << c.what;
        EXPECT_EQ(info.videoCodecName, "") << c.what;
        EXPECT_EQ(info.fpsNum, 0) << c.what;
    }
}

TEST(MediaProbe, AudioWithoutDecoderKeepsItsNumbers) {
    const std::string source = clip(audioOnly(AudioCodec::PcmS16be, Container::Mov));
    ASSERT_FALSE(source.empty());
    // The same clip with its sample entry renamed to a code no decoder knows.
    std::string bytes = readFile(source);
    const std::size_t entry = bytes.find("twos", bytes.find("stsd"));
    ASSERT_NE(entry, std::string::npos);
    bytes.replace(entry, 4, "zzzz");
    TempDir dir;
    const std::string path = dir.file("unknown-audio.mov");
    ASSERT_TRUE(writeFile(path, bytes));

    MediaInfo info;
    ASSERT_TRUE(probeMediaInfo(path, info));
    EXPECT_EQ(info.audioCodecName, "...");
    EXPECT_EQ(info.sampleRate, 48000);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.bitsPerSample, 16);
    EXPECT_EQ(info.bigEndian, 0);
}

TEST(MediaProbe, VideoStreamValues) {
    ClipSettings ntsc;
    ntsc.seconds = 1;
    ntsc.extraArgs = {"-r", "30000/1001"};
    ClipSettings twoVideos;
    twoVideos.seconds = 1;
    twoVideos.extraArgs = {"-filter_complex", "[0:v]split[a][b];[b]scale=160:120[c]",
                           "-map", "[a]", "-map", "[c]", "-map", "1:a"};
    ClipSettings hevc;
    hevc.video = VideoCodec::H265;
    hevc.seconds = 1;

    const struct {
        const char* what;
        ClipSettings settings;
        const char* decoder;
        int width;
        int height;
        float fpsNum;
        float fpsDen;
    } cases[] = {
        {"29.97 frames per second", ntsc, "h264", 320, 240, 30000, 1001},
        {"the second of two video streams", twoVideos, "h264", 160, 120, 25, 1},
        {"H.265", hevc, "hevc", 320, 240, 25, 1},
    };
    for (const auto& c : cases) {
        const std::string path = clip(c.settings);
        ASSERT_FALSE(path.empty()) << c.what;
        MediaInfo info;
        ASSERT_TRUE(probeMediaInfo(path, info)) << c.what;
        EXPECT_EQ(info.videoCodecName, c.decoder) << c.what;
        EXPECT_EQ(info.width, c.width) << c.what;
        EXPECT_EQ(info.height, c.height) << c.what;
        EXPECT_EQ(info.fpsNum, c.fpsNum) << c.what;
        EXPECT_EQ(info.fpsDen, c.fpsDen) << c.what;
        EXPECT_EQ(info.audioCodecName, "aac") << c.what;
    }
}

TEST(MediaProbe, CoverArtIsNotTheVideo) {
    ClipSettings settings;
    settings.seconds = 1;
    settings.audio = AudioCodec::None;
    const std::string source = clip(settings);
    ASSERT_FALSE(source.empty());
    TempDir dir;
    const std::string path = dir.file("cover.mp4");
    // The picture comes after the video, where it would overwrite the video's values.
    const ProcessResult made = runProcess({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i", source,
                                           "-f", "lavfi", "-i", "color=c=red:s=64x48:d=1", "-map", "0:v", "-map",
                                           "1:v", "-frames:v:1", "1", "-c:v:0", "copy", "-c:v:1", "mjpeg",
                                           "-disposition:v:1", "attached_pic", "-f", "mp4", path});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    MediaInfo info;
    ASSERT_TRUE(probeMediaInfo(path, info));
    EXPECT_EQ(info.videoCodecName, "h264");
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_EQ(info.fpsNum, 25);
}

TEST(MediaProbe, UnreadableInputsLeaveTheValuesAlone) {
    TempDir dir;
    const std::string text = dir.file("notes.mp4");
    ASSERT_TRUE(writeFile(text, "not a video at all\n"));
    const std::string cases[] = {dir.file("missing.mp4"), text};
    for (const std::string& path : cases) {
        MediaInfo info;
        info.width = 7;
        testing::internal::CaptureStdout();
        const bool ok = probeMediaInfo(path, info);
        std::cout.flush();
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_FALSE(ok) << path;
        EXPECT_EQ(out, "avformat_open_input failed\n") << path;
        EXPECT_EQ(info.width, 7) << path;
        EXPECT_EQ(info.videoCodecName, "") << path;
    }
}

TEST(MediaProbe, FrameRateChoice) {
    const struct {
        const char* what;
        float startNum;  // what an earlier video stream left
        float startDen;
        int realNum, realDen, guessNum, guessDen;
        float fpsNum;
        float fpsDen;
    } cases[] = {
        {"real base rate", 0, 0, 30000, 1001, 25, 1, 30000, 1001},
        {"real base rate with denominator 0: the guess", 0, 0, 30, 0, 24000, 1001, 24000, 1001},
        {"real base rate of 0/1: the guess", 0, 0, 0, 1, 25, 1, 25, 1},
        {"later stream overwrites", 25, 1, 50, 1, 50, 1, 50, 1},
        {"later stream without a real rate keeps the earlier one", 25, 1, 0, 0, 60, 1, 25, 1},
    };
    for (const auto& c : cases) {
        MediaInfo info;
        info.fpsNum = c.startNum;
        info.fpsDen = c.startDen;
        takeVideoFrameRate(c.realNum, c.realDen, c.guessNum, c.guessDen, info);
        EXPECT_EQ(info.fpsNum, c.fpsNum) << c.what;
        EXPECT_EQ(info.fpsDen, c.fpsDen) << c.what;
    }
}
