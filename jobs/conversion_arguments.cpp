#include "jobs/conversion_arguments.h"

#include <QFileInfo>

extern "C" {
#include <libavutil/parseutils.h>
}

#include "jobs/settings.h"

namespace {

// ---- encoder table ----

struct EncoderRow {
    const char* codec;         // upper-cased dialog name
    QStringList arguments;     // empty for the two with a hardware choice
    int hardware;              // HardwareEncoder, or -1
    const char* software;      // used when the hardware encoder is not usable
};

const std::vector<EncoderRow>& encoderTable() {
    static const std::vector<EncoderRow> table = {
        {"DIVX", {"mpeg4", "-vtag", "DIVX"}, -1, nullptr},
        {"DIVX5", {"mpeg4", "-vtag", "DIVX5"}, -1, nullptr},
        {"XVID", {"libxvid"}, -1, nullptr},
        {"OGG", {"libvorbis"}, -1, nullptr},
        {"THEORA", {"libtheora"}, -1, nullptr},
        {"VP8", {"libvpx"}, -1, nullptr},
        {"H.263", {"h263"}, -1, nullptr},
        {"H.264", {}, H264Nvenc, "libx264"},
        {"H.265", {}, HevcNvenc, "libx265"},
        {"MPEG4", {"mpeg4"}, -1, nullptr},
        {"MP4", {"mpeg4"}, -1, nullptr},
        {"MSMPEG4V2", {"msmpeg4v2"}, -1, nullptr},
        {"MSMPEG4V1", {"msmpeg4v1"}, -1, nullptr},
        {"MP2", {"mp2"}, -1, nullptr},
        {"MP3", {"libmp3lame"}, -1, nullptr},
        {"AAC", {"aac"}, -1, nullptr},
        {"WMV7", {"wmv1"}, -1, nullptr},
        {"WMV8", {"wmv2"}, -1, nullptr},
        {"WMA", {"wmav2"}, -1, nullptr},
        {"FLV", {"flv"}, -1, nullptr},
        {"MPEG2", {"mpeg2video"}, -1, nullptr},
        {"MPEG1", {"mpeg1video"}, -1, nullptr},
        {"AC3", {"ac3"}, -1, nullptr},
    };
    return table;
}

QString hardwareOrSoftware(HardwareEncoder encoder, const char* software, ConversionContext& context) {
    if (context.probeEncoders) context.probeEncoders();
    if (context.encoders && context.encoders->usable(encoder)) return kHardwareEncoderNames[encoder];
    return software;
}

// ---- format table ----

enum class Group {
    Literal,
    Encoder,           // E
    Profile,           // P: "-profile:v high" for h264_nvenc only
    Video,             // V
    VideoNoBitrate,    // V'
    Bitrate,           // the "-vb" pair alone
    Audio,             // A
    AudioNoStrict,     // A'
    Deinterlace,       // D: joins the filter chain
};

struct Item {
    Group group;
    const char* text = nullptr;  // Literal only
};
Item lit(const char* text) { return {Group::Literal, text}; }
const Item E{Group::Encoder}, P{Group::Profile}, V{Group::Video}, Vn{Group::VideoNoBitrate}, VB{Group::Bitrate},
    A{Group::Audio}, An{Group::AudioNoStrict}, D{Group::Deinterlace};

struct FormatRow {
    const char* format;  // upper-cased
    std::vector<Item> items;
};

const std::vector<FormatRow>& formatTable() {
    static const std::vector<FormatRow> table = {
        {"AVI", {lit("-f"), lit("avi"), lit("-vcodec"), E, V, A, D}},
        {"WMV", {lit("-f"), lit("asf"), lit("-vcodec"), E, V, A, D}},
        {"MPEG1", {lit("-vcodec"), E, V, A, D}},
        {"MPEG2", {lit("-vcodec"), E, V, A, D}},
        {"MP4", {lit("-f"), lit("mp4"), lit("-vcodec"), E, lit("-movflags"), lit("+faststart"), P, V, A, D}},
        {"MP4 HD 720P", {lit("-f"), lit("mp4"), lit("-vcodec"), E, VB, P, lit("-movflags"), lit("+faststart"), Vn, A, D}},
        {"MP4 HD 1080P", {lit("-f"), lit("mp4"), lit("-vcodec"), E, P, lit("-movflags"), lit("+faststart"), V, A, D}},
        {"MOV", {lit("-f"), lit("mov"), lit("-vcodec"), E, P, lit("-movflags"), lit("+faststart"), V, A, D}},
        {"FLV", {lit("-f"), lit("flv"), lit("-vcodec"), E, V, A, D}},
        {"OGG / THEORA", {lit("-f"), lit("ogg"), lit("-vcodec"), E, V, An, D}},
        {"WEBM", {lit("-vcodec"), E, V, A, D}},
        {"MP3", {lit("-f"), lit("mp3"), lit("-vn"), An}},
        {"OGG VORBIS", {lit("-f"), lit("ogg"), lit("-vn"), An}},
        {"AAC", {lit("-vn"), A}},
        {"DVD PAL", {lit("-target"), lit("pal-dvd"), lit("-vcodec"), E, V, A, D}},
        {"DVD NTSC", {lit("-target"), lit("ntsc-dvd"), lit("-vcodec"), E, V, A, D}},
    };
    return table;
}

struct RotationRow {
    const char* name;
    const char* filter;
    bool quarterTurn;  // the picture stands on its side afterwards
};
const RotationRow kRotations[] = {
    {kRotationNames[1], "transpose=2", true},
    {kRotationNames[2], "transpose=1", true},
    {kRotationNames[3], "transpose=2,transpose=2", false},
};

// The rotation named exactly; null for "No Rotation" and any other text.
const RotationRow* rotationNamed(const QString& name) {
    for (const RotationRow& rotation : kRotations)
        if (name == QString::fromUtf8(rotation.name)) return &rotation;
    return nullptr;
}

// Containers whose default encoders this ffmpeg build lacks (AMR audio) or that only take a
// few picture sizes (H.263): a re-encode into them names working ones.
struct ContainerDefaults {
    const char* suffix;  // lower-cased
    const char* video;   // used when the re-encode names no video encoder
    const char* audio;
};
const ContainerDefaults kContainerDefaults[] = {
    {"3gp", "mpeg4", "aac"},
    {"3g2", "mpeg4", "aac"},
};

QString q(const std::string& text) { return QString::fromStdString(text); }

// A field that is set to anything but "Same as original" gives its option.
bool givesOption(const std::string& field) { return field != kSameAsOriginal; }

// The size as the tool takes it: the preset texts write "1280 x 720".
QString sizeText(const std::string& size) { return q(size).remove(QLatin1Char(' ')); }

void addVideo(QStringList& args, const conversionPreset& preset, bool withBitrate) {
    if (withBitrate) args << "-vb" << QString::number(preset.videoBitrate) + "K";
    if (givesOption(preset.mSize)) args << "-s" << sizeText(preset.mSize);
    if (givesOption(preset.mFps)) args << "-r" << q(preset.mFps);
    if (givesOption(preset.mAspect)) args << "-aspect" << q(preset.mAspect);
}

void addAudio(QStringList& args, const conversionPreset& preset, bool strictRule, ConversionContext& context) {
    args << "-acodec" << encoderForCodec(q(preset.mCodecAudio), context);
    if (strictRule && preset.mCodecAudio == "AAC") args << "-strict" << "experimental";
    if (givesOption(preset.mFrequency)) args << "-ar" << q(preset.mFrequency);
    if (givesOption(preset.mChannel)) args << "-ac" << q(preset.mChannel);
    if (givesOption(preset.audioBitrate)) args << "-ab" << q(preset.audioBitrate);
}

// Size and aspect are read as the tool reads them ("1280x720" or "hd720", "16:9" or "1.7778"),
// so every form it takes turns; a text it would refuse anyway stays as it is.
std::string turnedSize(const std::string& size) {
    int width = 0, height = 0;
    const QByteArray text = sizeText(size).toUtf8();
    if (av_parse_video_size(&width, &height, text.constData()) < 0) return size;
    return std::to_string(height) + " x " + std::to_string(width);
}

std::string invertedAspect(const std::string& aspect) {
    AVRational ratio{0, 1};
    if (av_parse_ratio(&ratio, aspect.c_str(), 255, 0, nullptr) < 0 || ratio.num <= 0 || ratio.den <= 0) return aspect;
    return std::to_string(ratio.den) + ":" + std::to_string(ratio.num);
}

// After a quarter turn the picture is as high as it was wide. A fixed size and aspect of the
// preset turn with it; left as they are, the scaler would stretch the turned picture back
// into a landscape frame.
conversionPreset turnedOnItsSide(conversionPreset preset) {
    if (givesOption(preset.mSize)) preset.mSize = turnedSize(preset.mSize);
    if (givesOption(preset.mAspect)) preset.mAspect = invertedAspect(preset.mAspect);
    return preset;
}

void addFormatArguments(QStringList& args, const FormatRow& row, const conversionPreset& preset,
                        ConversionContext& context, QStringList& filters) {
    QStringList encoder;
    bool encoderKnown = false;
    auto videoEncoder = [&]() -> const QStringList& {
        if (!encoderKnown) {
            encoder = encoderForCodec(q(preset.mCodecVideo), context);
            encoderKnown = true;
        }
        return encoder;
    };
    for (const Item& item : row.items) {
        switch (item.group) {
        case Group::Literal: args << item.text; break;
        case Group::Encoder: args << videoEncoder(); break;
        case Group::Profile:
            if (videoEncoder() == QStringList{kHardwareEncoderNames[H264Nvenc]}) args << "-profile:v" << "high";
            break;
        case Group::Video: addVideo(args, preset, true); break;
        case Group::VideoNoBitrate: addVideo(args, preset, false); break;
        case Group::Bitrate: args << "-vb" << QString::number(preset.videoBitrate) + "K"; break;
        case Group::Audio: addAudio(args, preset, true, context); break;
        case Group::AudioNoStrict: addAudio(args, preset, false, context); break;
        // ffmpeg has no "-deinterlace" any more: the yadif filter leads the -vf chain.
        case Group::Deinterlace:
            if (preset.deinterlace) filters.prepend("yadif");
            break;
        }
    }
}

void addReEncodeArguments(QStringList& args, const QString& output, ConversionContext& context) {
    const QString codec = context.sourceVideoCodec.toUpper();
    bool videoNamed = false;
    if (codec == "H264" || codec == "H.264") {
        const QString encoder = hardwareOrSoftware(H264Nvenc, "libx264", context);
        args << "-c:v" << encoder;
        if (encoder == kHardwareEncoderNames[H264Nvenc]) args << "-profile:v" << "high";
        args << "-movflags" << "+faststart";
        videoNamed = true;
    } else if (codec == "H265" || codec == "HEVC" || codec == "H.265") {
        args << "-c:v" << hardwareOrSoftware(HevcNvenc, "libx265", context);
        videoNamed = true;
    }
    args << "-vb" << QString::number(context.sourceVideoBitRate) + "K";
    const QString suffix = QFileInfo(output).suffix().toLower();
    for (const ContainerDefaults& row : kContainerDefaults) {
        if (suffix != row.suffix) continue;
        if (!videoNamed) args << "-c:v" << row.video;
        args << "-c:a" << row.audio;
    }
}

}  // namespace

QStringList encoderForCodec(const QString& codecName, ConversionContext& context) {
    const QString name = codecName.toUpper();
    for (const EncoderRow& row : encoderTable()) {
        if (name != row.codec) continue;
        if (row.hardware >= 0) return {hardwareOrSoftware(static_cast<HardwareEncoder>(row.hardware), row.software, context)};
        return row.arguments;
    }
    return {codecName.toLower()};
}

QStringList buildConversionArguments(const QString& input, const QString& output, const QString& format,
                                     ConversionContext& context) {
    // Absolute, so a name starting with '-' still reads as a file.
    const QString outputPath = QFileInfo(output).absoluteFilePath();
    QStringList args{"-i", QFileInfo(input).absoluteFilePath()};
    QStringList filters;
    const RotationRow* rotation = rotationNamed(context.rotation);
    if (format == kReEncodeFormat) {
        addReEncodeArguments(args, outputPath, context);
    } else {
        const QString upper = format.toUpper();
        const conversionPreset preset =
            rotation && rotation->quarterTurn ? turnedOnItsSide(context.preset) : context.preset;
        for (const FormatRow& row : formatTable())
            if (upper == row.format) {
                addFormatArguments(args, row, preset, context, filters);
                break;
            }
    }
    if (rotation) filters << rotation->filter;
    if (!filters.isEmpty()) args << "-vf" << filters.join(',');
    args << "-y" << outputPath;
    return args;
}
