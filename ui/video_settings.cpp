#include "ui/video_settings.h"

#include <vector>

#include <QCoreApplication>
#include <QPixmap>

#include "ui_video_settings.h"

namespace {

// How a format uses the form besides its lists.
enum class FormLayout {
    Video,           // both groups
    VideoFixedSize,  // both groups; the picture size is the preset's and cannot be changed
    AudioOnly,       // the video group is hidden and the audio group takes its place
};

struct FormatChoices {
    const char* name;  // lower-cased format name
    std::vector<const char*> videoCodecs;
    std::vector<const char*> audioCodecs;
    int minimumBitrate;  // kbit/s; both 0: the spin box keeps the form's range
    int maximumBitrate;
    const char* title;
    const char* picture;  // under kFormatPictures
    FormLayout layout;
};

const char* const kFormatPictures = ":/format/icons/res/format/";

// Codec names are those of the conversion's encoder table. Mpeg2 offers what its default preset
// names (MPEG2, AC3) besides its MPEG-1 neighbour's audio, so that its default shows and keeps.
const std::vector<FormatChoices>& formatTable() {
    // clang-format off
    static const std::vector<FormatChoices> table = {
        {"avi", {"DIVX", "DIVX5", "XVID", "H.263", "H.264", "H.265", "MPEG4", "MSMPEG4V2", "MSMPEG4V1"},
                {"MP2", "MP3", "AAC"}, 150, 15000, QT_TRANSLATE_NOOP("videoSettings", "AVI Parameters"), "avi.png", FormLayout::Video},
        {"wmv", {"WMV7", "WMV8"}, {"WMA"}, 150, 4000, QT_TRANSLATE_NOOP("videoSettings", "WMV Parameters"), "wmv.png", FormLayout::Video},
        {"mpeg1", {"MPEG1"}, {"MP2", "MP3"}, 150, 2000, QT_TRANSLATE_NOOP("videoSettings", "MPEG1 Parameters"), "mpeg1.png", FormLayout::Video},
        {"mpeg2", {"MPEG2"}, {"AC3", "MP2", "MP3"}, 2000, 15000, QT_TRANSLATE_NOOP("videoSettings", "MPEG2 Parameters"), "mpeg2.png", FormLayout::Video},
        {"mp4", {"XVID", "H.264", "H.265"}, {"AAC"}, 200, 99000, QT_TRANSLATE_NOOP("videoSettings", "MP4 Parameters"), "mp4.png", FormLayout::Video},
        {"mp4 hd 720p", {"XVID", "H.264", "H.265"}, {"AAC"}, 1000, 99000, QT_TRANSLATE_NOOP("videoSettings", "MP4 HD 720P Parameters"), "hd720.png", FormLayout::VideoFixedSize},
        {"mp4 hd 1080p", {"XVID", "H.264", "H.265"}, {"AAC"}, 1500, 99000, QT_TRANSLATE_NOOP("videoSettings", "MP4 HD 1080P Parameters"), "hd1080.png", FormLayout::VideoFixedSize},
        {"mov", {"MP4", "H.264", "H.265"}, {"AAC"}, 200, 99000, QT_TRANSLATE_NOOP("videoSettings", "MOV Parameters"), "mov.png", FormLayout::Video},
        {"flv", {"FLV"}, {"MP3"}, 150, 2000, QT_TRANSLATE_NOOP("videoSettings", "FLV Parameters"), "flv.png", FormLayout::Video},
        {"webm", {"VP8"}, {"OGG"}, 150, 2000, QT_TRANSLATE_NOOP("videoSettings", "WebM Parameters"), "webm.gif", FormLayout::Video},
        {"dvd pal", {"MPEG2"}, {"AC3", "MP2"}, 1500, 9000, QT_TRANSLATE_NOOP("videoSettings", "DVD PAL Parameters"), "dvd.png", FormLayout::Video},
        {"dvd ntsc", {"MPEG2"}, {"AC3", "MP2"}, 1500, 9000, QT_TRANSLATE_NOOP("videoSettings", "DVD NTSC Parameters"), "dvd.png", FormLayout::Video},
        {"ogg / theora", {"THEORA"}, {"OGG"}, 200, 3000, QT_TRANSLATE_NOOP("videoSettings", "Ogg/Theora Parameters"), "oggtheora.png", FormLayout::Video},
        {"mp3", {}, {"MP3"}, 0, 0, QT_TRANSLATE_NOOP("videoSettings", "MP3 Parameters"), "mp3.png", FormLayout::AudioOnly},
        {"ogg vorbis", {}, {"OGG"}, 0, 0, QT_TRANSLATE_NOOP("videoSettings", "Ogg Vorbis Parameters"), "ogg.png", FormLayout::AudioOnly},
        {"aac", {}, {"AAC"}, 0, 0, QT_TRANSLATE_NOOP("videoSettings", "AAC Parameters"), "aac.png", FormLayout::AudioOnly},
    };
    // clang-format on
    return table;
}

const FormatChoices* choicesFor(const QString& formatName) {
    const QString wanted = formatName.toLower();
    for (const FormatChoices& row : formatTable())
        if (wanted == QLatin1String(row.name)) return &row;
    return nullptr;
}

// Where the audio group goes when the video group is hidden: the video group's place.
const QRect kAudioOnlyGroupRect(QPoint(8, 48), QPoint(398, 218));
// Space between the audio group and the buttons when the buttons move up beneath it.
constexpr int kButtonGap = 6;

// The eight boxes and the preset fields they show. Boxes with options get "Same as original"
// and then their options, the same for every format; the two codec boxes get the format's
// codecs instead. The entries are the stored values themselves, so they are not translated.
struct ComboField {
    std::string conversionPreset::*field;
    QComboBox* Ui_videoSettings::*box;
    bool codec;  // the field's text is upper-cased before it is looked up
    std::vector<const char*> options;
};

// clang-format off
const std::vector<ComboField>& comboFields() {
    static const std::vector<ComboField> fields = {
        {&conversionPreset::mCodecVideo, &Ui_videoSettings::comboCodecVideo, true, {}},
        {&conversionPreset::mSize, &Ui_videoSettings::comboSize, false,
            {"128 x 96", "176 x 144", "240 x 176", "320 x 176", "320 x 240", "352 x 240", "352 x 288", "368 x 208",
             "384 x 288", "416 x 176", "480 x 272", "480 x 320", "560 x 304", "608 x 336", "624 x 352", "640 x 368",
             "640 x 360", "640 x 384", "640 x 480", "704 x 480", "704 x 576", "720 x 406", "720 x 432", "720 x 480",
             "720 x 576", "768 x 576", "960 x 528", "960 x 540", "960 x 720", "1280 x 720", "1920 x 1080",
             "1920 x 1440", "2704 x 1520", "2704 x 2028", "3840 x 2160", "4096 x 2160"}},
        {&conversionPreset::mAspect, &Ui_videoSettings::comboAspect, false,
            {"1:1", "3:2", "4:3", "5:4", "11:9", "12:5", "16:9"}},
        {&conversionPreset::mFps, &Ui_videoSettings::comboFps, false,
            {"5.994", "6.25", "7.5", "10", "11.988", "12.5", "14.985", "15", "23.976", "24", "25", "29.97", "30",
             "49.95", "50", "59.94", "60", "120", "240"}},
        {&conversionPreset::mCodecAudio, &Ui_videoSettings::comboCodecAudio, true, {}},
        {&conversionPreset::mFrequency, &Ui_videoSettings::comboFrequency, false,
            {"11025", "12000", "16000", "22050", "24000", "32000", "44100", "48000"}},
        {&conversionPreset::mChannel, &Ui_videoSettings::comboChannel, false, {"1", "2"}},
        {&conversionPreset::audioBitrate, &Ui_videoSettings::comboBitrateAudio, false,
            {"32K", "48K", "56K", "64K", "80K", "96K", "112K", "128K", "160K", "192K", "224K", "256K", "448K"}},
    };
    return fields;
}
// clang-format on

// A picture larger than its place is scaled down into it, keeping its proportions.
QPixmap fittedInto(const QPixmap& picture, const QSize& place) {
    if (picture.width() <= place.width() && picture.height() <= place.height()) return picture;
    return picture.scaled(place, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void addEntries(QComboBox* box, const std::vector<const char*>& entries) {
    for (const char* entry : entries) box->addItem(QString::fromUtf8(entry));
}

}  // namespace

videoSettings::videoSettings(QWidget* parent)
    : QDialog(parent), settings(std::make_unique<clsSettings>()), ui(std::make_unique<Ui::videoSettings>()) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
}

videoSettings::~videoSettings() = default;

void videoSettings::setupForFormat(const QString& name) {
    preset = *settings->loadPreset(name);
    formatName = name;

    for (const ComboField& f : comboFields()) (ui.get()->*f.box)->clear();
    if (const FormatChoices* choices = choicesFor(name)) {
        addEntries(ui->comboCodecVideo, choices->videoCodecs);
        addEntries(ui->comboCodecAudio, choices->audioCodecs);
        if (choices->maximumBitrate > 0) {
            ui->bitrateVideoSpin->setRange(choices->minimumBitrate, choices->maximumBitrate);
            ui->bitrateRange->setText(QStringLiteral("%1 -> %2").arg(choices->minimumBitrate).arg(choices->maximumBitrate));
        }
        ui->labelFormat->setText(QCoreApplication::translate("videoSettings", choices->title));
        ui->formatIcon->setPixmap(
            fittedInto(QPixmap(QString::fromLatin1(kFormatPictures) + choices->picture), ui->formatIcon->size()));
        switch (choices->layout) {
            case FormLayout::Video: break;
            case FormLayout::VideoFixedSize: ui->comboSize->setEnabled(false); break;
            case FormLayout::AudioOnly:
                ui->groupVideo->hide();
                ui->groupAudio->setGeometry(kAudioOnlyGroupRect);
                closeUpBelowAudio();
                break;
        }
    }
    for (const ComboField& f : comboFields()) {
        if (f.codec) continue;
        QComboBox* box = ui.get()->*f.box;
        box->addItem(QString::fromLatin1(kSameAsOriginal));
        addEntries(box, f.options);
    }
    showPreset();
}

void videoSettings::showPreset() {
    for (const ComboField& f : comboFields()) {
        QString text = QString::fromStdString(preset.*f.field);
        if (f.codec) text = text.toUpper();
        QComboBox* box = ui.get()->*f.box;
        box->setCurrentIndex(box->findText(text));
    }
    ui->bitrateVideoSpin->setValue(preset.videoBitrate);  // held inside the range
    ui->deinterlace->setChecked(preset.deinterlace);
}

conversionPreset videoSettings::presetInForm() const {
    conversionPreset shown;
    for (const ComboField& f : comboFields()) shown.*f.field = (ui.get()->*f.box)->currentText().toStdString();
    shown.videoBitrate = ui->bitrateVideoSpin->value();
    shown.deinterlace = ui->deinterlace->isChecked();
    return shown;
}

void videoSettings::on_save_clicked() {
    settings->savePreset(formatName, presetInForm());
    close();
}

void videoSettings::on_cancel_clicked() { close(); }

void videoSettings::on_restore_clicked() {
    preset = *settings->defaultPreset(formatName);
    showPreset();
}

void videoSettings::closeUpBelowAudio() {
    // The buttons keep their distance below the audio group, and the dialog ends as far below
    // them as before, so no empty band is left where the video group was.
    const int shift = ui->restore->y() - (ui->groupAudio->geometry().bottom() + kButtonGap);
    for (QWidget* button : {static_cast<QWidget*>(ui->restore), static_cast<QWidget*>(ui->cancel),
                            static_cast<QWidget*>(ui->save)})
        button->move(button->x(), button->y() - shift);
    setFixedSize(width(), height() - shift);
}

videoSettings* openVideoSettings(const QString& formatName) {
    auto* dialog = new videoSettings();
    dialog->setModal(true);
    dialog->setupForFormat(formatName);
    dialog->show();
    return dialog;
}
