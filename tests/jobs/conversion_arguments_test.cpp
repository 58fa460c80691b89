// Argument lists of the conversion, per output format, against hand-written golden lists.
#include <gtest/gtest.h>

#include <QDir>

#include "jobs/conversion_arguments.h"
#include "jobs/settings.h"

namespace {

ConversionContext contextFor(const QString& format, HardwareEncoderState* encoders = nullptr) {
    ConversionContext c;
    c.preset = *defaultConversionPreset(format);
    c.encoders = encoders;
    return c;
}

QStringList split(const char* text) { return QString::fromUtf8(text).split(' ', Qt::SkipEmptyParts); }

}  // namespace

TEST(ConversionArguments, DefaultPresetOfEveryFormat) {
    struct Case {
        const char* format;
        const char* middle;  // between "-i in" and "-y out"
    };
    const Case cases[] = {
        {"AVI", "-f avi -vcodec libx264 -vb 1400K -s 960x540 -r 25 -aspect 16:9 -acodec libmp3lame -ar 44100 -ac 2 -ab 128K"},
        {"Mp4", "-f mp4 -vcodec libx264 -movflags +faststart -vb 1500K -s 1280x720 -r 25 -aspect 16:9 -acodec aac "
                "-strict experimental -ar 44100 -ac 2 -ab 128K"},
        {"Mp4 HD 720P", "-f mp4 -vcodec libx264 -vb 2500K -movflags +faststart -s 1280x720 -r 25 -aspect 16:9 "
                        "-acodec aac -strict experimental -ar 44100 -ac 2 -ab 160K"},
        {"Mp4 HD 1080P", "-f mp4 -vcodec libx264 -movflags +faststart -vb 8000K -s 1920x1080 -r 25 -aspect 16:9 "
                         "-acodec aac -strict experimental -ar 44100 -ac 2 -ab 192K"},
        {"Mov", "-f mov -vcodec libx264 -movflags +faststart -vb 1200K -s 1280x720 -r 25 -aspect 16:9 -acodec aac "
                "-strict experimental -ar 44100 -ac 2 -ab 128K"},
        {"Wmv", "-f asf -vcodec wmv2 -vb 750K -s 640x360 -r 25 -aspect 16:9 -acodec wmav2 -ar 44100 -ac 2 -ab 96K"},
        {"Flv", "-f flv -vcodec flv -vb 750K -s 320x240 -r 25 -aspect 4:3 -acodec libmp3lame -ar 44100 -ac 2 -ab 128K"},
        {"WebM", "-vcodec libvpx -vb 1500K -s 1280x720 -r 25 -aspect 16:9 -acodec libvorbis -ar 44100 -ac 2 -ab 128K"},
        {"Ogg / Theora", "-f ogg -vcodec libtheora -vb 1400K -s 1280x720 -r 25 -aspect 16:9 -acodec libvorbis -ar 44100 "
                         "-ac 2 -ab 128K"},
        {"Mp3", "-f mp3 -vn -acodec libmp3lame -ar 44100 -ac 2 -ab 128K"},
        {"Aac", "-vn -acodec aac -strict experimental -ar 44100 -ac 2 -ab 128K"},
        {"Ogg Vorbis", "-f ogg -vn -acodec libvorbis -ar 44100 -ac 2 -ab 128K"},
        {"DVD Pal", "-target pal-dvd -vcodec mpeg2video -vb 5760K -s 720x576 -r 25 -aspect 16:9 -acodec ac3 -ar 44100 "
                    "-ac 2 -ab 448K"},
        {"DVD Ntsc", "-target ntsc-dvd -vcodec mpeg2video -vb 5760K -s 720x480 -r 29.97 -aspect 16:9 -acodec ac3 "
                     "-ar 44100 -ac 2 -ab 448K"},
        {"Mpeg1", "-vcodec mpeg1video -vb 1000K -s 720x480 -r 29.97 -aspect 16:9 -acodec mp2 -ar 48000 -ac 2 -ab 224K"},
        {"Mpeg2", "-vcodec mpeg2video -vb 2000K -s 720x480 -r 29.97 -aspect 16:9 -acodec ac3 -ar 48000 -ac 2 -ab 448K"},
        {"IPOD", ""},
    };
    for (const Case& c : cases) {
        ConversionContext context = contextFor(c.format);
        const QStringList expected = QStringList{"-i", "/in"} + split(c.middle) + QStringList{"-y", "/out"};
        EXPECT_EQ(buildConversionArguments("/in", "/out", c.format, context), expected) << c.format;
    }
}

TEST(ConversionArguments, SameAsOriginalLeavesOptionsOut) {
    ConversionContext context = contextFor("Mp4");
    for (std::string* field : {&context.preset.mSize, &context.preset.mFps, &context.preset.mAspect,
                               &context.preset.mFrequency, &context.preset.mChannel, &context.preset.audioBitrate})
        *field = "Same as original";
    EXPECT_EQ(buildConversionArguments("/in", "/out", "Mp4", context),
              split("-i /in -f mp4 -vcodec libx264 -movflags +faststart -vb 1500K -acodec aac -strict experimental -y /out"));
}

TEST(ConversionArguments, StrictOnlyForExactAacInFormatsThatAllowIt) {
    struct Case {
        const char* format;
        const char* audioCodec;
        bool strict;
    };
    const Case cases[] = {{"Mp3", "AAC", false}, {"Ogg Vorbis", "AAC", false}, {"Aac", "AAC", true},
                          {"Aac", "aac", false}, {"Ogg / Theora", "AAC", false}, {"Mp4", "AAC", true}};
    for (const Case& c : cases) {
        ConversionContext context = contextFor(c.format);
        context.preset.mCodecAudio = c.audioCodec;
        const QStringList args = buildConversionArguments("/in", "/out", c.format, context);
        EXPECT_EQ(args.contains("-strict"), c.strict) << c.format << " " << c.audioCodec;
        EXPECT_TRUE(args.contains("aac")) << c.format;
    }
}

TEST(ConversionArguments, RotationAndDeinterlaceShareOneFilterChain) {
    struct Case {
        const char* rotation;
        bool deinterlace;
        const char* chain;  // empty: no -vf
    };
    const Case cases[] = {
        {"Rotate left 90°", false, "transpose=2"},
        {"Rotate right 90°", false, "transpose=1"},
        {"Rotate 180°", false, "transpose=2,transpose=2"},
        {"rotate 180°", false, ""},
        {"No Rotation", false, ""},
        {"", true, "yadif"},
        {"Rotate right 90°", true, "yadif,transpose=1"},
    };
    for (const Case& c : cases) {
        ConversionContext context = contextFor("AVI");
        context.rotation = QString::fromUtf8(c.rotation);
        context.preset.deinterlace = c.deinterlace;
        const QStringList args = buildConversionArguments("/in", "/out", "AVI", context);
        EXPECT_FALSE(args.contains("-deinterlace"));
        const int vf = args.indexOf("-vf");
        if (*c.chain == '\0') {
            EXPECT_EQ(vf, -1) << c.rotation;
            continue;
        }
        ASSERT_GE(vf, 0) << c.rotation;
        EXPECT_EQ(args.count("-vf"), 1);
        EXPECT_EQ(args[vf + 1], c.chain);
        EXPECT_EQ(args.mid(args.size() - 2), (QStringList{"-y", "/out"}));
    }
}

// A quarter turn stands the picture on its side: a fixed size and aspect turn with it, so the
// scaler keeps the turned picture's shape instead of stretching it back into a landscape frame.
TEST(ConversionArguments, QuarterTurnTurnsTheSizeAndAspect) {
    struct Case {
        const char* format;
        const char* rotation;
        const char* size;    // the preset's; null keeps the default
        const char* aspect;  // the preset's; null keeps the default
        const char* sizeArgument;    // empty: no -s
        const char* aspectArgument;  // empty: no -aspect
    };
    const Case cases[] = {
        {"Mp4", "Rotate right 90°", nullptr, nullptr, "720x1280", "9:16"},
        {"Mp4 HD 720P", "Rotate left 90°", nullptr, nullptr, "720x1280", "9:16"},
        {"Mp4 HD 1080P", "Rotate right 90°", nullptr, nullptr, "1080x1920", "9:16"},
        {"Flv", "Rotate left 90°", nullptr, nullptr, "240x320", "3:4"},
        {"Mp4", "Rotate 180°", nullptr, nullptr, "1280x720", "16:9"},
        {"Mp4", "No Rotation", nullptr, nullptr, "1280x720", "16:9"},
        {"Mp4", "Rotate right 90°", "Same as original", "Same as original", "", ""},
        // Every form the tool reads turns; what it would refuse is passed on for it to report.
        {"Mp4", "Rotate right 90°", "hd720", "2", "720x1280", "1:2"},
        {"Mp4", "Rotate left 90°", "1920x1080", "1.5", "1080x1920", "2:3"},
        {"Mp4", "Rotate right 90°", "wide", "tall", "wide", "tall"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.rotation);
        ConversionContext context = contextFor(c.format);
        if (c.size) context.preset.mSize = c.size;
        if (c.aspect) context.preset.mAspect = c.aspect;
        context.rotation = QString::fromUtf8(c.rotation);
        const conversionPreset stored = context.preset;
        const QStringList args = buildConversionArguments("/in", "/out", c.format, context);
        auto valueOf = [&](const char* option) {
            const int at = args.indexOf(option);
            return at < 0 ? QString() : args.value(at + 1);
        };
        EXPECT_EQ(valueOf("-s"), c.sizeArgument);
        EXPECT_EQ(valueOf("-aspect"), c.aspectArgument);
        // The job's preset stays as stored: a second list (after a hardware encoder failed) is turned once.
        EXPECT_EQ(context.preset, stored);
        EXPECT_EQ(buildConversionArguments("/in", "/out", c.format, context), args);
    }
}

TEST(ConversionArguments, RotationAppliesToReEncodeAndAudioFormats) {
    for (const char* format : {"Re-Encode (Keep same quality)", "Mp3", "IPOD"}) {
        ConversionContext context = contextFor(format);
        context.rotation = QString::fromUtf8("Rotate 180°");
        const QStringList args = buildConversionArguments("/in", "/out", format, context);
        EXPECT_EQ(args.mid(args.size() - 4), (QStringList{"-vf", "transpose=2,transpose=2", "-y", "/out"})) << format;
    }
}

TEST(ConversionArguments, HardwareEncoderListedFailedAndProbed) {
    HardwareEncoderState encoders;
    int probes = 0;
    ConversionContext context = contextFor("Mp4", &encoders);
    context.probeEncoders = [&] {
        ++probes;
        encoders.probed = true;
        encoders.listed[H264Nvenc] = true;
    };
    QStringList args = buildConversionArguments("/in", "/out", "Mp4", context);
    EXPECT_EQ(args.mid(0, 12), split("-i /in -f mp4 -vcodec h264_nvenc -movflags +faststart -profile:v high -vb 1500K"));
    EXPECT_GE(probes, 1);

    ASSERT_TRUE(markFailedEncoder(args, encoders));
    EXPECT_TRUE(encoders.failed[H264Nvenc]);
    args = buildConversionArguments("/in", "/out", "Mp4", context);
    EXPECT_TRUE(args.contains("libx264"));
    EXPECT_FALSE(args.contains("-profile:v"));
    EXPECT_FALSE(markFailedEncoder(args, encoders));
}

TEST(ConversionArguments, ReEncodeFollowsTheSourceCodec) {
    struct Case {
        const char* codec;
        int bitrate;
        bool nvencUsable;
        const char* output;
        const char* middle;
    };
    const Case cases[] = {
        {"h264", 0, false, "/o.mp4", "-c:v libx264 -movflags +faststart -vb 0K"},
        {"H.264", 2500, true, "/o.mp4", "-c:v h264_nvenc -profile:v high -movflags +faststart -vb 2500K"},
        {"hevc", 8000, false, "/o.mov", "-c:v libx265 -vb 8000K"},
        {"H265", 8000, true, "/o.mp4", "-c:v hevc_nvenc -vb 8000K"},
        {"mpeg4", 1200, false, "/o.avi", "-vb 1200K"},
        // 3GP's default encoders (AMR audio, H.263 video) do not work here: name working ones.
        {"mpeg4", 300, false, "/o.3gp", "-vb 300K -c:v mpeg4 -c:a aac"},
        {"h264", 300, false, "/o.3G2", "-c:v libx264 -movflags +faststart -vb 300K -c:a aac"},
    };
    for (const Case& c : cases) {
        HardwareEncoderState encoders;
        encoders.probed = true;
        encoders.listed[H264Nvenc] = encoders.listed[HevcNvenc] = c.nvencUsable;
        ConversionContext context = contextFor("Re-Encode (Keep same quality)", &encoders);
        context.sourceVideoCodec = c.codec;
        context.sourceVideoBitRate = c.bitrate;
        const QStringList expected = QStringList{"-i", "/in"} + split(c.middle) + QStringList{"-y", c.output};
        EXPECT_EQ(buildConversionArguments("/in", c.output, "Re-Encode (Keep same quality)", context), expected) << c.codec;
    }
}

TEST(ConversionArguments, PathsArePassedAbsolute) {
    // A name that starts with '-' must not read as an option of the tool.
    ConversionContext context = contextFor("Mp3");
    const QStringList args = buildConversionArguments("-clip.mp4", "-clip_conv.mp3", "Mp3", context);
    EXPECT_EQ(args.at(1), QDir::current().absoluteFilePath("-clip.mp4"));
    EXPECT_EQ(args.last(), QDir::current().absoluteFilePath("-clip_conv.mp3"));
}

TEST(EncoderForCodec, TableRows) {
    struct Case {
        const char* codec;
        const char* encoder;
    };
    const Case cases[] = {{"divx", "mpeg4 -vtag DIVX"}, {"DIVX5", "mpeg4 -vtag DIVX5"}, {"XviD", "libxvid"},
                          {"OGG", "libvorbis"}, {"Theora", "libtheora"}, {"VP8", "libvpx"}, {"H.263", "h263"},
                          {"H.264", "libx264"}, {"h.265", "libx265"}, {"MPEG4", "mpeg4"}, {"MP4", "mpeg4"},
                          {"MSMPEG4V2", "msmpeg4v2"}, {"MSMPEG4V1", "msmpeg4v1"}, {"MP2", "mp2"},
                          {"mp3", "libmp3lame"}, {"AAC", "aac"}, {"WMV7", "wmv1"}, {"WMV8", "wmv2"}, {"WMA", "wmav2"},
                          {"FLV", "flv"}, {"MPEG2", "mpeg2video"}, {"MPEG1", "mpeg1video"}, {"AC3", "ac3"},
                          {"Opus", "opus"}};
    for (const Case& c : cases) {
        ConversionContext context;
        EXPECT_EQ(encoderForCodec(c.codec, context), split(c.encoder)) << c.codec;
    }
}

TEST(ConversionArguments, DivxEncoderStandsWhereTheEncoderGoes) {
    ConversionContext context = contextFor("AVI");
    context.preset.mCodecVideo = "DIVX";
    const QStringList args = buildConversionArguments("/in", "/out", "AVI", context);
    EXPECT_EQ(args.mid(0, 9), split("-i /in -f avi -vcodec mpeg4 -vtag DIVX -vb"));
}
