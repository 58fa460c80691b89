#include "jobs/settings.h"

#include <algorithm>
#include <iterator>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "jobs/output_names.h"

const char* const kOutputFormatNames[17] = {
    kReEncodeFormat, "AVI", "Mp4", "Mp4 HD 720P", "Mp4 HD 1080P", "Mov", "Wmv", "Flv", "WebM",
    "Ogg / Theora", "Mp3", "Aac", "Ogg Vorbis", "DVD Pal", "DVD Ntsc", "Mpeg1", "Mpeg2",
};

const char* const kRotationNames[4] = {kNoRotation, "Rotate left 90°", "Rotate right 90°", "Rotate 180°"};

namespace {

// How a key's default is found: a fixed text, or the movies folder (with or without "/").
enum class DefaultKind { Text, MoviesFolderSlash, MoviesFolder };

struct KeyDefault {
    const char* key;
    DefaultKind kind;
    const char* text;
};

// Every key the program keeps besides the preset keys ("firstlaunch" and "referenceFile" have
// no default: empty).
const KeyDefault kKeyDefaults[] = {
    {settingsKeys::SavePath, DefaultKind::MoviesFolderSlash, ""},
    {settingsKeys::openPath, DefaultKind::MoviesFolderSlash, ""},
    {settingsKeys::saveInFileDirectory, DefaultKind::Text, "false"},
    {settingsKeys::mPreviewShow, DefaultKind::Text, "true"},
    {settingsKeys::GeneralFormatOutput, DefaultKind::Text, kReEncodeFormat},
    {settingsKeys::GeneralRotation, DefaultKind::Text, kNoRotation},
    {settingsKeys::referenceFile, DefaultKind::Text, ""},
    {settingsKeys::openPathReference, DefaultKind::MoviesFolder, ""},
    {settingsKeys::firstlaunch, DefaultKind::Text, ""},
};

bool folderExists(const QString& folder) { return !folder.isEmpty() && QFileInfo(folder).isDir(); }

}  // namespace

bool settingIsTrue(const QVariant& value) {
    return value.toString().toLower() == QLatin1String("true");
}

clsSettings::clsSettings()
    : store(std::make_unique<QSettings>(QString::fromLatin1(kSettingsOrganisation),
                                        QString::fromLatin1(kSettingsApplication))) {}

clsSettings::~clsSettings() = default;

QString clsSettings::fileName() const { return store->fileName(); }

QVariant clsSettings::value(const QString& key) const { return store->value(key, QString()); }

void clsSettings::setValue(const QString& key, const QVariant& value) { store->setValue(key, value); }

QString clsSettings::defaultValue(const QString& key) {
    const auto row = std::find_if(std::begin(kKeyDefaults), std::end(kKeyDefaults),
                                  [&](const KeyDefault& d) { return key == QLatin1String(d.key); });
    if (row == std::end(kKeyDefaults)) return QString();
    switch (row->kind) {
        case DefaultKind::MoviesFolderSlash: return withTrailingSlash(moviesFolder());
        case DefaultKind::MoviesFolder: return moviesFolder();
        case DefaultKind::Text: break;
    }
    return QString::fromUtf8(row->text);
}

QString clsSettings::valueOrDefault(const QString& key) const {
    const QString stored = value(key).toString();
    return stored.isEmpty() ? defaultValue(key) : stored;
}

bool clsSettings::flag(const QString& key) const { return settingIsTrue(valueOrDefault(key)); }

QString clsSettings::savePath() const {
    const QString stored = value(QLatin1String(settingsKeys::SavePath)).toString();
    return folderExists(stored) ? stored : moviesOutputFolder();
}

QString clsSettings::openPath() const {
    const QString stored = value(QLatin1String(settingsKeys::openPath)).toString();
    return folderExists(stored) ? stored : withTrailingSlash(moviesFolder());
}

QString clsSettings::openPathReference() const {
    const QString stored = value(QLatin1String(settingsKeys::openPathReference)).toString();
    return folderExists(stored) ? stored : moviesFolder();
}

std::unique_ptr<conversionPreset> clsSettings::defaultPreset(const QString& formatName) const {
    return defaultConversionPreset(formatName);
}

std::unique_ptr<conversionPreset> clsSettings::loadPreset(const QString& formatName) const {
    return loadConversionPreset(formatName, [this](const QString& key) { return value(key); });
}

void clsSettings::savePreset(const QString& formatName, const conversionPreset& preset) {
    storeConversionPreset(formatName, preset, [this](const QString& key, const QVariant& value) { setValue(key, value); });
}

QString clsSettings::moviesFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    return folder;
}

QString clsSettings::moviesOutputFolder() {
    const QString folder = moviesFolder();
    // The platform may name a movies folder that was never made; output needs it to exist.
    QDir().mkpath(folder);
    return withTrailingSlash(folder);
}
