#include "ui/output_choices.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QIcon>

#include <iterator>

#include "jobs/settings.h"

namespace {

// Index for index with kRotationNames.
const char* const kRotationIcons[] = {
    ":/format/icons/res/format/no.png",
    ":/new/graphics/res/rotate_left_90.ico",
    ":/new/graphics/res/rotate_right_90.ico",
    ":/new/graphics/res/rotate_180.ico",
};
static_assert(std::size(kRotationIcons) == std::size(kRotationNames), "one icon per rotation");

// Index for index with kOutputFormatNames.
const char* const kFormatIcons[] = {
    ":/new/graphics/res/same.png",          ":/format/icons/res/format/avi.png",
    ":/format/icons/res/format/mp4.png",    ":/format/icons/res/format/hd720.png",
    ":/format/icons/res/format/hd1080.png", ":/format/icons/res/format/mov.png",
    ":/format/icons/res/format/wmv.png",    ":/format/icons/res/format/flv.png",
    ":/format/icons/res/format/webm.gif",   ":/format/icons/res/format/oggtheora.png",
    ":/format/icons/res/format/mp3.png",    ":/format/icons/res/format/aac.png",
    ":/format/icons/res/format/ogg.png",    ":/format/icons/res/format/dvd.png",
    ":/format/icons/res/format/dvd.png",    ":/format/icons/res/format/mpeg1.png",
    ":/format/icons/res/format/mpeg2.png",
};
static_assert(std::size(kFormatIcons) == std::size(kOutputFormatNames), "one icon per output format");

// For the translation tools: the texts below pass through translation at run time.
[[maybe_unused]] const char* const kTranslatedTexts[] = {
    QT_TRANSLATE_NOOP("MainWindow", "No Rotation"),
    QT_TRANSLATE_NOOP("MainWindow", "Rotate left 90°"),
    QT_TRANSLATE_NOOP("MainWindow", "Rotate right 90°"),
    QT_TRANSLATE_NOOP("MainWindow", "Rotate 180°"),
    QT_TRANSLATE_NOOP("MainWindow", "Re-Encode (Keep same quality)"),
};

QString translated(const char* text) { return QCoreApplication::translate("MainWindow", text); }

}  // namespace

std::vector<OutputChoice> rotationChoices() {
    std::vector<OutputChoice> choices;
    for (std::size_t i = 0; i < std::size(kRotationNames); ++i)
        choices.push_back({translated(kRotationNames[i]), QString::fromLatin1(kRotationIcons[i])});
    return choices;
}

std::vector<OutputChoice> formatChoices() {
    std::vector<OutputChoice> choices;
    for (std::size_t i = 0; i < std::size(kOutputFormatNames); ++i) {
        // Only the re-encode is a sentence; the format names are names.
        const QString text = i == 0 ? translated(kOutputFormatNames[i]) : QString::fromUtf8(kOutputFormatNames[i]);
        choices.push_back({text, QString::fromLatin1(kFormatIcons[i])});
    }
    return choices;
}

void fillChoices(QComboBox& box, const std::vector<OutputChoice>& choices) {
    for (const OutputChoice& c : choices) box.addItem(QIcon(c.icon), c.text);
}
