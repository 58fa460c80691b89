#pragma once
// The encoding settings of one output format, its built-in defaults and the keys its
// user overrides are stored under.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QString>
#include <QVariant>

// The value of a text field that leaves its option out of the conversion: the source's own
// size, rate or bit rate is kept. Stored and compared as it stands, never translated.
inline constexpr const char* kSameAsOriginal = "Same as original";

struct conversionPreset {
    std::string mCodecVideo;
    std::string mCodecAudio;
    std::string mSize;       // "1280 x 720" or "Same as original"
    std::string mAspect;     // "16:9" or "Same as original"
    std::string mFps;        // "25", "29.97" or "Same as original"
    std::string mFrequency;  // sample rate in Hz or "Same as original"
    std::string mChannel;    // channel count or "Same as original"
    int32_t videoBitrate = 0;  // kbit/s
    std::string audioBitrate;  // "128K" or "Same as original"
    bool deinterlace = false;
};

bool operator==(const conversionPreset& a, const conversionPreset& b);
inline bool operator!=(const conversionPreset& a, const conversionPreset& b) { return !(a == b); }

// The ten fields in the order they are read and written. Each is stored under the format name
// followed at once by the field name ("Mp4mSize", "DVD PalmSize"): texts as texts,
// videoBitrate as an integer, deinterlace as a boolean.
struct PresetField {
    enum Kind { Text, Integer, Boolean };
    const char* name;
    Kind kind;
    std::string conversionPreset::*text;  // null for the two non-text fields
};
extern const PresetField kPresetFields[10];
QString presetKey(const QString& formatName, const char* fieldName);

// The built-in default of a format, matched on the lower-cased name; an unknown name
// ("Re-Encode (Keep same quality)" among them) gives the empty preset.
std::unique_ptr<conversionPreset> defaultConversionPreset(const QString& formatName);

// Reads a stored value by key; absent keys read as an empty value.
using PresetValueReader = std::function<QVariant(const QString& key)>;

// The format's default with every stored, non-empty value laid over it.
std::unique_ptr<conversionPreset> loadConversionPreset(const QString& formatName, const PresetValueReader& read);

// Stores a value under a key.
using PresetValueWriter = std::function<void(const QString& key, const QVariant& value)>;

// Writes all ten fields under the format's keys, in the field order, each in its stored form.
// An empty text is written as it is: loading treats it as not set, so the default applies.
void storeConversionPreset(const QString& formatName, const conversionPreset& preset, const PresetValueWriter& write);
