#pragma once
// Accessor of the program's persistent per-user settings. Values are read at the moment of
// use and never cached, so separate instances (GUI thread, job thread) see each other's writes.
#include <memory>

#include <QSettings>
#include <QString>
#include <QVariant>

#include "jobs/conversion_preset.h"

namespace settingsKeys {
inline constexpr const char* SavePath = "SavePath";
inline constexpr const char* openPath = "openPath";
inline constexpr const char* saveInFileDirectory = "saveInFileDirectory";
inline constexpr const char* mPreviewShow = "mPreviewShow";
inline constexpr const char* GeneralFormatOutput = "GeneralFormatOutput";
inline constexpr const char* GeneralRotation = "GeneralRotation";
inline constexpr const char* referenceFile = "referenceFile";
inline constexpr const char* openPathReference = "openPathReference";
inline constexpr const char* firstlaunch = "firstlaunch";
}  // namespace settingsKeys

inline constexpr const char* kSettingsOrganisation = "Kestrine";
inline constexpr const char* kSettingsApplication = "Vantorel";
inline constexpr const char* kReEncodeFormat = "Re-Encode (Keep same quality)";
inline constexpr const char* kNoRotation = "No Rotation";

// The output formats in the order the main window's format box offers them; these texts are
// stored in "GeneralFormatOutput" and prefix the preset keys.
extern const char* const kOutputFormatNames[17];

class clsSettings {
public:
    clsSettings();
    ~clsSettings();
    clsSettings(const clsSettings&) = delete;
    clsSettings& operator=(const clsSettings&) = delete;

    // Where the store lives, as the platform reports it.
    QString fileName() const;

    // The stored value; the empty text when the key is absent.
    QVariant value(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);

    // The stored text, or the key's default when it is absent or empty. Keys outside the
    // table (preset keys) default to the empty text.
    QString valueOrDefault(const QString& key) const;
    // The key's default ("" for keys without one). Folder defaults are computed from the
    // platform's movies folder and are not created here.
    static QString defaultValue(const QString& key);

    // Boolean keys: "true" in any letter case is true; empty or absent gives the default.
    bool flag(const QString& key) const;

    // Folder keys: the stored folder when it exists, else the key's default folder.
    // savePath() also creates the default folder, since it is used for output.
    QString savePath() const;
    QString openPath() const;
    QString openPathReference() const;

    std::unique_ptr<conversionPreset> defaultPreset(const QString& formatName) const;
    std::unique_ptr<conversionPreset> loadPreset(const QString& formatName) const;
    // The ten preset keys of the format, as the settings dialog saves them.
    void savePreset(const QString& formatName, const conversionPreset& preset);

    // The user's movies folder (no trailing "/").
    static QString moviesFolder();
    // The movies folder with "/" appended, created when missing so it can take output.
    static QString moviesOutputFolder();

private:
    std::unique_ptr<QSettings> store;
};

// "true" in any letter case.
bool settingIsTrue(const QVariant& value);
