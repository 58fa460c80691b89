// Every output format of the format box, converted by the real ffmpeg tool from a small
// generated clip with the job's argument list: status 0 by the job's rules, the format's
// extension, and the codecs and picture size its default preset names.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <atomic>
#include <string>

#include "jobs/child_process.h"
#include "jobs/child_programs.h"
#include "jobs/conversion_arguments.h"
#include "jobs/hardware_encoders.h"
#include "jobs/output_names.h"
#include "jobs/settings.h"
#include "media/ffmpeg_handles.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

using namespace testsupport;

namespace {

struct Streams {
    bool opened = false;
    std::string video, audio;  // codec names, empty when there is no such stream
    int width = 0, height = 0;
    int videoKbps = 0;
};

Streams probe(const std::string& path) {
    Streams s;
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0) return s;
    const FormatInputPtr format(opened);
    s.opened = avformat_find_stream_info(format.get(), nullptr) >= 0;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* p = format->streams[i]->codecpar;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO && s.video.empty()) {
            s.video = avcodec_get_name(p->codec_id);
            s.width = p->width;
            s.height = p->height;
            s.videoKbps = static_cast<int>(p->bit_rate / 1000);
        } else if (p->codec_type == AVMEDIA_TYPE_AUDIO && s.audio.empty()) {
            s.audio = avcodec_get_name(p->codec_id);
        }
    }
    return s;
}

enum class Source { Mp4, ThreeGp, ThreeG2 };

struct FormatCase {
    const char* name;
    const char* format;
    Source source;
    const char* extension;
    const char* video;  // empty: no video stream
    const char* audio;
    int width, height;
    const char* rotation = "";
    bool deinterlace = false;
};

const FormatCase kCases[] = {
    {"re_encode", kReEncodeFormat, Source::Mp4, ".mp4", "h264", "aac", 320, 240},
    // 3GP's own default encoders (AMR, H.263) do not work here; the arguments name working ones.
    {"re_encode_3gp", kReEncodeFormat, Source::ThreeGp, ".3gp", "h264", "aac", 320, 240},
    {"re_encode_3g2", kReEncodeFormat, Source::ThreeG2, ".3g2", "h264", "aac", 320, 240},
    {"avi", "AVI", Source::Mp4, ".avi", "h264", "mp3", 960, 540},
    {"mp4", "Mp4", Source::Mp4, ".mp4", "h264", "aac", 1280, 720},
    {"mp4_hd_720p", "Mp4 HD 720P", Source::Mp4, ".mp4", "h264", "aac", 1280, 720},
    {"mp4_hd_1080p", "Mp4 HD 1080P", Source::Mp4, ".mp4", "h264", "aac", 1920, 1080},
    {"mov", "Mov", Source::Mp4, ".mov", "h264", "aac", 1280, 720},
    {"wmv", "Wmv", Source::Mp4, ".wmv", "wmv2", "wmav2", 640, 360},
    {"flv", "Flv", Source::Mp4, ".flv", "flv1", "mp3", 320, 240},
    {"webm", "WebM", Source::Mp4, ".webm", "vp8", "vorbis", 1280, 720},
    {"ogg_theora", "Ogg / Theora", Source::Mp4, ".ogv", "theora", "vorbis", 1280, 720},
    {"mp3", "Mp3", Source::Mp4, ".mp3", "", "mp3", 0, 0},
    {"aac", "Aac", Source::Mp4, ".aac", "", "aac", 0, 0},
    {"ogg_vorbis", "Ogg Vorbis", Source::Mp4, ".ogg", "", "vorbis", 0, 0},
    {"dvd_pal", "DVD Pal", Source::Mp4, ".vob", "mpeg2video", "ac3", 720, 576},
    {"dvd_ntsc", "DVD Ntsc", Source::Mp4, ".vob", "mpeg2video", "ac3", 720, 480},
    {"mpeg1", "Mpeg1", Source::Mp4, ".mpg", "mpeg1video", "mp2", 720, 480},
    {"mpeg2", "Mpeg2", Source::Mp4, ".mpg", "mpeg2video", "ac3", 720, 480},
    // The filter chain: the rotation turns the picture (no -s to undo it on a re-encode), and
    // yadif runs in the same chain as the rotation.
    {"re_encode_rotated", kReEncodeFormat, Source::Mp4, ".mp4", "h264", "aac", 240, 320, "Rotate right 90°"},
    {"mp4_deinterlaced_rotated", "Mp4", Source::Mp4, ".mp4", "h264", "aac", 1280, 720, "Rotate 180°", true},
    {"mp3_rotated", "Mp3", Source::Mp4, ".mp3", "", "mp3", 0, 0, "Rotate left 90°"},
    // A quarter turn into a format of fixed size stands the frame on its side with the picture.
    {"mp4_hd_720p_rotated_right", "Mp4 HD 720P", Source::Mp4, ".mp4", "h264", "aac", 720, 1280, "Rotate right 90°"},
    {"flv_rotated_left", "Flv", Source::Mp4, ".flv", "flv1", "mp3", 240, 320, "Rotate left 90°"},
};

// The source in `dir`: ten frames of H.264 + AAC (VP8 at 720p is slow), remuxed for the 3GP cases.
std::string sourceFor(const TempDir& dir, Source source) {
    ClipSettings settings;
    settings.seconds = 0.4;
    const std::string made = clip(settings);
    if (made.empty()) return made;
    // A plain name: the re-encode keeps everything behind the name's first "." as its extension.
    const char* const names[] = {"clip.mp4", "clip.3gp", "clip.3g2"};
    const std::string path = dir.file(names[static_cast<int>(source)]);
    const ProcessResult r =
        runProcess({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i", made, "-c", "copy", "-y", path});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return path;
}

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class ConversionFormats : public ::testing::TestWithParam<FormatCase> {};

}  // namespace

TEST_P(ConversionFormats, ConvertsWithTheCodecsThePresetNames) {
    const FormatCase& c = GetParam();
    TempDir dir;
    const std::string input = sourceFor(dir, c.source);
    ASSERT_FALSE(input.empty());
    const Streams source = probe(input);
    ASSERT_TRUE(source.opened);

    const QString extension = conversionExtension(c.format, QString::fromStdString(input));
    EXPECT_EQ(extension.toStdString(), c.extension);
    const QString output = QString::fromStdString(dir.file("clip_conv")) + extension;

    // As the job builds it: the stored preset (the default, the store being empty), the real
    // hardware probe (NVENC is listed here but cannot open, so the software encoder is named).
    std::atomic<bool> cancel{false};
    ChildProcessRunner runner(cancel);
    const QString ffmpeg = childProgramPath(ChildProgram::Ffmpeg);
    HardwareEncoderState encoders;
    ConversionContext context;
    context.preset = *defaultConversionPreset(c.format);
    context.preset.deinterlace = c.deinterlace;
    context.rotation = QString::fromUtf8(c.rotation);
    context.sourceVideoCodec = QString::fromStdString(source.video);
    context.sourceVideoBitRate = source.videoKbps;
    context.encoders = &encoders;
    context.probeEncoders = [&] { probeHardwareEncoders(runner, ffmpeg, encoders); };
    const QStringList arguments = buildConversionArguments(QString::fromStdString(input), output, c.format, context);

    std::string log;
    const ChildResult result = runner.run(ffmpeg, arguments, [&](const std::string& line) { log += line + "\n"; });
    // The job's status rule: a clean exit, no encoder failure, more than 3000 bytes.
    EXPECT_TRUE(result.succeeded()) << arguments.join(' ').toStdString() << "\n" << log;
    EXPECT_FALSE(reportsEncoderFailure(log)) << log;
    EXPECT_GT(fileSize(output.toStdString()), 3000) << log;

    const Streams converted = probe(output.toStdString());
    ASSERT_TRUE(converted.opened) << log;
    EXPECT_EQ(converted.video, c.video);
    EXPECT_EQ(converted.audio, c.audio);
    EXPECT_EQ(converted.width, c.width);
    EXPECT_EQ(converted.height, c.height);
}

INSTANTIATE_TEST_SUITE_P(FormatBox, ConversionFormats, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });
