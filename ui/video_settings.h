#pragma once
// The conversion settings dialog: the preset of one output format, with the codecs and the
// video bit-rate range that suit that format. Only Save writes to the settings store (the ten
// preset keys of the format); a conversion reads the store when it starts, so only saved
// values change it.
#include <memory>

#include <QDialog>
#include <QString>

#include "jobs/conversion_preset.h"
#include "jobs/settings.h"

namespace Ui {
class videoSettings;
}

class videoSettings : public QDialog {
    Q_OBJECT

public:
    // Made with new: the dialog deletes itself when it is closed.
    explicit videoSettings(QWidget* parent = nullptr);
    ~videoSettings() override;

    // Set-up for the format exactly as the window's format box shows it ("Mp4", "DVD Pal"):
    // its codecs, range, title and picture, the option lists, and its stored preset.
    void setupForFormat(const QString& formatName);
    // Shows the current preset: each box selects the entry with the field's text (codecs
    // upper-cased first); a text no entry has leaves the box without a selection.
    void showPreset();

private slots:
    void on_save_clicked();
    void on_cancel_clicked();
    void on_restore_clicked();

private:
    // The preset as the form shows it; a box without a selection gives the empty text.
    conversionPreset presetInForm() const;
    // An audio-only format: the buttons move up under the audio group and the dialog shrinks.
    void closeUpBelowAudio();

    conversionPreset preset;
    std::unique_ptr<clsSettings> settings;
    std::unique_ptr<Ui::videoSettings> ui;
    QString formatName;
};

// The window's settings button: a new dialog without parent for `formatName`, modal, shown
// without waiting.
videoSettings* openVideoSettings(const QString& formatName);
