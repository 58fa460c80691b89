#include "jobs/conversion_preset.h"

#include <algorithm>
#include <iterator>

const PresetField kPresetFields[10] = {
    {"mCodecVideo", PresetField::Text, &conversionPreset::mCodecVideo},
    {"mSize", PresetField::Text, &conversionPreset::mSize},
    {"mAspect", PresetField::Text, &conversionPreset::mAspect},
    {"mFps", PresetField::Text, &conversionPreset::mFps},
    {"videoBitrate", PresetField::Integer, nullptr},
    {"mCodecAudio", PresetField::Text, &conversionPreset::mCodecAudio},
    {"mFrequency", PresetField::Text, &conversionPreset::mFrequency},
    {"mChannel", PresetField::Text, &conversionPreset::mChannel},
    {"audioBitrate", PresetField::Text, &conversionPreset::audioBitrate},
    {"deinterlace", PresetField::Boolean, nullptr},
};

namespace {

struct DefaultRow {
    const char* format;  // lower-cased format name
    conversionPreset preset;
};

// Audio-only formats leave the video fields empty. The avi audio codec is the lower-case
// "mp3" on purpose: the codec lookups upper-case it.
// clang-format off
const DefaultRow kDefaults[] = {
    // format           video     audio   size           aspect  fps      freq     ch   vbit  abit
    {"dvd pal",      {"MPEG2",  "AC3", "720 x 576",   "16:9", "25",    "44100", "2", 5760, "448K", false}},
    {"dvd ntsc",     {"MPEG2",  "AC3", "720 x 480",   "16:9", "29.97", "44100", "2", 5760, "448K", false}},
    {"mp3",          {"",       "MP3", "",            "",     "",      "44100", "2", 0,    "128K", false}},
    {"aac",          {"",       "AAC", "",            "",     "",      "44100", "2", 0,    "128K", false}},
    {"ogg vorbis",   {"",       "OGG", "",            "",     "",      "44100", "2", 0,    "128K", false}},
    {"avi",          {"H.264",  "mp3", "960 x 540",   "16:9", "25",    "44100", "2", 1400, "128K", false}},
    {"wmv",          {"WMV8",   "WMA", "640 x 360",   "16:9", "25",    "44100", "2", 750,  "96K",  false}},
    {"mpeg2",        {"MPEG2",  "AC3", "720 x 480",   "16:9", "29.97", "48000", "2", 2000, "448K", false}},
    {"mpeg1",        {"MPEG1",  "MP2", "720 x 480",   "16:9", "29.97", "48000", "2", 1000, "224K", false}},
    {"mp4",          {"H.264",  "AAC", "1280 x 720",  "16:9", "25",    "44100", "2", 1500, "128K", false}},
    {"mp4 hd 720p",  {"H.264",  "AAC", "1280 x 720",  "16:9", "25",    "44100", "2", 2500, "160K", false}},
    {"mp4 hd 1080p", {"H.264",  "AAC", "1920 x 1080", "16:9", "25",    "44100", "2", 8000, "192K", false}},
    {"mov",          {"H.264",  "AAC", "1280 x 720",  "16:9", "25",    "44100", "2", 1200, "128K", false}},
    {"flv",          {"FLV",    "MP3", "320 x 240",   "4:3",  "25",    "44100", "2", 750,  "128K", false}},
    {"webm",         {"VP8",    "OGG", "1280 x 720",  "16:9", "25",    "44100", "2", 1500, "128K", false}},
    {"ogg / theora", {"THEORA", "OGG", "1280 x 720",  "16:9", "25",    "44100", "2", 1400, "128K", false}},
};
// clang-format on

// A stored value counts only when its text is not empty.
bool isSet(const QVariant& value) { return value.isValid() && !value.toString().isEmpty(); }

// "false" and "0" (any letter case) are false, any other text true.
bool truthOf(const QVariant& value) {
    const QString text = value.toString().toLower();
    return text != QLatin1String("false") && text != QLatin1String("0");
}

// A text that is not a number (or does not fit) reads as 0.
int32_t integerOf(const QVariant& value) {
    bool ok = false;
    const int number = value.toString().toInt(&ok);
    return ok ? number : 0;
}

}  // namespace

bool operator==(const conversionPreset& a, const conversionPreset& b) {
    return a.mCodecVideo == b.mCodecVideo && a.mCodecAudio == b.mCodecAudio && a.mSize == b.mSize &&
           a.mAspect == b.mAspect && a.mFps == b.mFps && a.mFrequency == b.mFrequency &&
           a.mChannel == b.mChannel && a.videoBitrate == b.videoBitrate && a.audioBitrate == b.audioBitrate &&
           a.deinterlace == b.deinterlace;
}

QString presetKey(const QString& formatName, const char* fieldName) {
    return formatName + QString::fromLatin1(fieldName);
}

std::unique_ptr<conversionPreset> defaultConversionPreset(const QString& formatName) {
    const std::string wanted = formatName.toLower().toStdString();
    const auto row = std::find_if(std::begin(kDefaults), std::end(kDefaults),
                                  [&](const DefaultRow& r) { return wanted == r.format; });
    if (row == std::end(kDefaults)) return std::make_unique<conversionPreset>();
    return std::make_unique<conversionPreset>(row->preset);
}

std::unique_ptr<conversionPreset> loadConversionPreset(const QString& formatName, const PresetValueReader& read) {
    auto preset = defaultConversionPreset(formatName);
    for (const PresetField& field : kPresetFields) {
        const QVariant stored = read(presetKey(formatName, field.name));
        if (!isSet(stored)) continue;
        switch (field.kind) {
            case PresetField::Text: preset.get()->*field.text = stored.toString().toStdString(); break;
            case PresetField::Integer: preset->videoBitrate = integerOf(stored); break;
            case PresetField::Boolean: preset->deinterlace = truthOf(stored); break;
        }
    }
    return preset;
}

void storeConversionPreset(const QString& formatName, const conversionPreset& preset, const PresetValueWriter& write) {
    for (const PresetField& field : kPresetFields) {
        const QString key = presetKey(formatName, field.name);
        switch (field.kind) {
            case PresetField::Text: write(key, QString::fromStdString(preset.*field.text)); break;
            case PresetField::Integer: write(key, preset.videoBitrate); break;
            case PresetField::Boolean: write(key, preset.deinterlace); break;
        }
    }
}
