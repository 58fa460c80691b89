// The conversion settings dialog: what it shows for a format, what Save, Restore default and
// Cancel leave in the settings store, and that the saved values reach the next conversion.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

#include <map>

#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "tests/support/qtest_main.h"
#include "ui/video_settings.h"

namespace {

const char* const kComboNames[] = {"comboCodecVideo", "comboSize",      "comboAspect",       "comboFps",
                                   "comboCodecAudio", "comboFrequency", "comboBitrateAudio", "comboChannel"};

QSettings store() { return QSettings(kSettingsOrganisation, kSettingsApplication); }

QComboBox* combo(videoSettings* d, const char* name) { return d->findChild<QComboBox*>(name); }
QSpinBox* spin(videoSettings* d) { return d->findChild<QSpinBox*>("bitrateVideoSpin"); }
QCheckBox* deinterlace(videoSettings* d) { return d->findChild<QCheckBox*>("deinterlace"); }
QGroupBox* group(videoSettings* d, const char* name) { return d->findChild<QGroupBox*>(name); }
void click(videoSettings* d, const char* button) { d->findChild<QPushButton*>(button)->click(); }

// What the form shows, field by field, in the words of the stored keys.
std::map<QString, QString> shown(videoSettings* d) {
    return {
        {"mCodecVideo", combo(d, "comboCodecVideo")->currentText()},
        {"mSize", combo(d, "comboSize")->currentText()},
        {"mAspect", combo(d, "comboAspect")->currentText()},
        {"mFps", combo(d, "comboFps")->currentText()},
        {"videoBitrate", QString::number(spin(d)->value())},
        {"mCodecAudio", combo(d, "comboCodecAudio")->currentText()},
        {"mFrequency", combo(d, "comboFrequency")->currentText()},
        {"mChannel", combo(d, "comboChannel")->currentText()},
        {"audioBitrate", combo(d, "comboBitrateAudio")->currentText()},
        {"deinterlace", deinterlace(d)->isChecked() ? "true" : "false"},
    };
}

std::map<QString, QString> fieldsOf(const conversionPreset& p, bool upperCodecs = true) {
    const auto codec = [&](const std::string& t) {
        return upperCodecs ? QString::fromStdString(t).toUpper() : QString::fromStdString(t);
    };
    return {
        {"mCodecVideo", codec(p.mCodecVideo)},
        {"mSize", QString::fromStdString(p.mSize)},
        {"mAspect", QString::fromStdString(p.mAspect)},
        {"mFps", QString::fromStdString(p.mFps)},
        {"videoBitrate", QString::number(p.videoBitrate)},
        {"mCodecAudio", codec(p.mCodecAudio)},
        {"mFrequency", QString::fromStdString(p.mFrequency)},
        {"mChannel", QString::fromStdString(p.mChannel)},
        {"audioBitrate", QString::fromStdString(p.audioBitrate)},
        {"deinterlace", p.deinterlace ? "true" : "false"},
    };
}

// Every key of the store with its value as text.
std::map<QString, QString> stored() {
    std::map<QString, QString> all;
    QSettings s = store();
    for (const QString& key : s.allKeys()) all[key] = s.value(key).toString();
    return all;
}

// The ten keys of `format` as fields, for the keys that are there.
std::map<QString, QString> storedPreset(const QString& format) {
    std::map<QString, QString> fields;
    for (const auto& [key, value] : stored())
        if (key.startsWith(format)) fields[key.mid(format.size())] = value;
    return fields;
}

void storeFields(const QString& format, const std::map<QString, QString>& fields) {
    QSettings s = store();
    for (const auto& [field, value] : fields) s.setValue(format + field, value);
}

QString describe(const std::map<QString, QString>& fields) {
    QStringList parts;
    for (const auto& [k, v] : fields) parts << k + "=" + v;
    return parts.join(", ");
}

#define COMPARE_FIELDS(actual, expected) QCOMPARE(describe(actual), describe(expected))

}  // namespace

class VideoSettingsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        store().clear();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<videoSettings*>(w)) delete w;
    }

    // For every format of the window's format box, an empty store opens with the format's whole
    // default selected (every box of its groups has the default's entry, Mpeg2's codecs
    // included), and Save stores what loads back as that default.
    void showsAndKeepsTheDefaultOfEveryFormat_data() {
        QTest::addColumn<QString>("format");
        for (const char* format : kOutputFormatNames)
            if (QString(format) != kReEncodeFormat) QTest::newRow(format) << QString(format);
    }

    void showsAndKeepsTheDefaultOfEveryFormat() {
        QFETCH(QString, format);
        const conversionPreset defaults = *defaultConversionPreset(format);
        QPointer<videoSettings> dialog = openVideoSettings(format);
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->isModal());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Conversion Settings"));
        // An audio-only format closes up the band the hidden video group leaves.
        const bool audioOnly = defaults.mCodecVideo.empty();
        QCOMPARE(dialog->size(), QSize(411, audioOnly ? 256 : 436));

        QCOMPARE(group(dialog, "groupVideo")->isHidden(), audioOnly);
        for (const char* name : kComboNames) {
            const bool inVideoGroup = combo(dialog, name)->parent() == group(dialog, "groupVideo");
            if (audioOnly && inVideoGroup) continue;
            QVERIFY2(combo(dialog, name)->currentIndex() >= 0, name);
        }
        COMPARE_FIELDS(shown(dialog), fieldsOf(defaults));

        click(dialog, "save");
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(storedPreset(format).size(), size_t(10));
        COMPARE_FIELDS(fieldsOf(*clsSettings().loadPreset(format)), fieldsOf(defaults));
    }

    // Each format shows its own picture, compiled in with the window's resource files.
    void everyFormatShowsItsPicture() {
        for (const char* format : kOutputFormatNames) {
            if (QString(format) == kReEncodeFormat) continue;
            QPointer<videoSettings> dialog = openVideoSettings(format);
            const QPixmap picture = dialog->findChild<QLabel*>("formatIcon")->pixmap(Qt::ReturnByValue);
            QVERIFY2(!picture.isNull(), format);
            delete dialog;
        }
    }

    // A stored preset shows over the defaults: a lower-case codec selects its entry, a bit rate
    // below the format's range shows its minimum.
    void mp4ShowsTheStoredPreset() {
        storeFields("Mp4", {{"mCodecVideo", "h.265"}, {"mSize", "640 x 480"}, {"mAspect", "4:3"}, {"mFps", "29.97"},
                            {"videoBitrate", "50"}, {"mCodecAudio", "aac"}, {"mFrequency", "48000"}, {"mChannel", "1"},
                            {"audioBitrate", "Same as original"}, {"deinterlace", "true"}});
        QPointer<videoSettings> dialog = openVideoSettings("Mp4");
        COMPARE_FIELDS(shown(dialog), (std::map<QString, QString>{
                                          {"mCodecVideo", "H.265"}, {"mSize", "640 x 480"}, {"mAspect", "4:3"},
                                          {"mFps", "29.97"}, {"videoBitrate", "200"}, {"mCodecAudio", "AAC"},
                                          {"mFrequency", "48000"}, {"mChannel", "1"},
                                          {"audioBitrate", "Same as original"}, {"deinterlace", "true"}}));
        QCOMPARE(dialog->findChild<QLabel*>("labelFormat")->text(), QStringLiteral("MP4 Parameters"));
        QCOMPARE(dialog->findChild<QLabel*>("bitrateRange")->text(), QStringLiteral("200 -> 99000"));
        QStringList codecs;
        for (int i = 0; i < combo(dialog, "comboCodecVideo")->count(); ++i) codecs << combo(dialog, "comboCodecVideo")->itemText(i);
        QCOMPARE(codecs, (QStringList{"XVID", "H.264", "H.265"}));
    }

    // With an empty store, Save of the untouched form writes exactly the Mp4 default under the
    // ten Mp4 keys and nothing else; the dialog closes.
    void saveWritesTheTenKeys() {
        QPointer<videoSettings> dialog = openVideoSettings("Mp4");
        click(dialog, "save");
        QTRY_VERIFY(dialog.isNull());
        const std::map<QString, QString> expected = {
            {"Mp4mCodecVideo", "H.264"}, {"Mp4mSize", "1280 x 720"}, {"Mp4mAspect", "16:9"}, {"Mp4mFps", "25"},
            {"Mp4videoBitrate", "1500"}, {"Mp4mCodecAudio", "AAC"}, {"Mp4mFrequency", "44100"}, {"Mp4mChannel", "2"},
            {"Mp4audioBitrate", "128K"}, {"Mp4deinterlace", "false"}};
        COMPARE_FIELDS(stored(), expected);
        QCOMPARE(store().value("Mp4videoBitrate").toInt(), 1500);
    }

    // Restore default shows the default and writes nothing; Cancel after it leaves the store as it was.
    void restoreShowsTheDefaultWithoutSaving() {
        const std::map<QString, QString> mine = {{"mCodecVideo", "XVID"}, {"mSize", "640 x 480"}, {"videoBitrate", "4000"},
                                                 {"audioBitrate", "96K"}, {"deinterlace", "true"}};
        storeFields("Mp4", mine);
        const std::map<QString, QString> before = stored();
        QPointer<videoSettings> dialog = openVideoSettings("Mp4");
        QCOMPARE(shown(dialog)["mSize"], QStringLiteral("640 x 480"));

        click(dialog, "restore");
        COMPARE_FIELDS(shown(dialog), fieldsOf(*defaultConversionPreset("Mp4")));
        COMPARE_FIELDS(stored(), before);
        QVERIFY(dialog->isVisible());

        click(dialog, "cancel");
        QTRY_VERIFY(dialog.isNull());
        COMPARE_FIELDS(stored(), before);
    }

    void cancelWritesNothing() {
        QPointer<videoSettings> dialog = openVideoSettings("Mp4");
        combo(dialog, "comboSize")->setCurrentText("640 x 480");
        combo(dialog, "comboCodecVideo")->setCurrentText("XVID");
        spin(dialog)->setValue(3000);
        deinterlace(dialog)->setChecked(true);
        click(dialog, "cancel");
        QTRY_VERIFY(dialog.isNull());
        QVERIFY(stored().empty());
    }

    // The audio-only formats hide the video group and move the audio group into its place;
    // Save still writes all ten keys, the video ones empty and the bit rate 0.
    void audioOnlyFormats_data() {
        QTest::addColumn<QString>("format");
        QTest::newRow("Mp3") << "Mp3";
        QTest::newRow("Ogg Vorbis") << "Ogg Vorbis";
        QTest::newRow("Aac") << "Aac";
    }

    void audioOnlyFormats() {
        QFETCH(QString, format);
        QPointer<videoSettings> dialog = openVideoSettings(format);
        QVERIFY(group(dialog, "groupVideo")->isHidden());
        QVERIFY(group(dialog, "groupAudio")->isVisible());
        QCOMPARE(group(dialog, "groupAudio")->geometry(), QRect(QPoint(8, 48), QPoint(398, 218)));
        // No empty band where the video group was: the buttons sit under the audio group, inside
        // a dialog that ended as far below them as before.
        const QWidget* save = dialog->findChild<QWidget*>("save");
        QVERIFY(save->y() > 218 && save->y() < 240);
        QCOMPARE(dialog->height() - save->geometry().bottom(), 436 - 429);
        QCOMPARE(combo(dialog, "comboCodecVideo")->count(), 0);
        QCOMPARE(dialog->findChild<QLabel*>("bitrateRange")->text(), QStringLiteral("range"));

        click(dialog, "save");
        QTRY_VERIFY(dialog.isNull());
        const std::map<QString, QString> keys = storedPreset(format);
        QCOMPARE(keys.size(), size_t(10));
        for (const char* field : {"mCodecVideo", "mSize", "mAspect", "mFps"}) QCOMPARE(keys.at(field), QString());
        QCOMPARE(keys.at("videoBitrate"), QStringLiteral("0"));
        QCOMPARE(*clsSettings().loadPreset(format), *defaultConversionPreset(format));
    }

    // The HD formats keep the preset's picture size; the spin box keeps to the format's range.
    void hdFormatKeepsItsSizeAndRange() {
        QPointer<videoSettings> dialog = openVideoSettings("Mp4 HD 1080P");
        QCOMPARE(combo(dialog, "comboSize")->currentText(), QStringLiteral("1920 x 1080"));
        QVERIFY(!combo(dialog, "comboSize")->isEnabled());
        spin(dialog)->setValue(1000);
        QCOMPARE(spin(dialog)->value(), 1500);
        spin(dialog)->setValue(120000);
        QCOMPARE(spin(dialog)->value(), 99000);
        QCOMPARE(dialog->findChild<QLabel*>("bitrateRange")->text(), QStringLiteral("1500 -> 99000"));
    }

    // A stored value the list does not offer shows no selection; saving the untouched box
    // stores the empty text, so the format's default applies from then on.
    void storedValueOutsideTheListFallsBackToTheDefault() {
        storeFields("Mp4", {{"mSize", "1000 x 1000"}, {"mCodecVideo", "VP8"}});
        QPointer<videoSettings> dialog = openVideoSettings("Mp4");
        QCOMPARE(combo(dialog, "comboSize")->currentIndex(), -1);
        QCOMPARE(combo(dialog, "comboCodecVideo")->currentIndex(), -1);
        click(dialog, "save");
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(store().value("Mp4mSize").toString(), QString());
        const auto loaded = clsSettings().loadPreset("Mp4");
        QCOMPARE(QString::fromStdString(loaded->mSize), QStringLiteral("1280 x 720"));
        QCOMPARE(QString::fromStdString(loaded->mCodecVideo), QStringLiteral("H.264"));
    }

    // What Save stores is what the next conversion of a job uses; a cancelled dialog changes nothing.
    void savedValuesChangeTheNextConversion() {
        QPointer<videoSettings> dialog = openVideoSettings("Mp4");
        combo(dialog, "comboCodecVideo")->setCurrentText("XVID");
        combo(dialog, "comboSize")->setCurrentText("640 x 480");
        combo(dialog, "comboFps")->setCurrentText("Same as original");
        spin(dialog)->setValue(3000);
        combo(dialog, "comboBitrateAudio")->setCurrentText("96K");
        deinterlace(dialog)->setChecked(true);
        click(dialog, "save");
        QTRY_VERIFY(dialog.isNull());

        const QStringList expected = {"-i", "/in/a.mp4", "-f", "mp4", "-vcodec", "libxvid", "-movflags", "+faststart",
                                      "-vb", "3000K", "-s", "640x480", "-aspect", "16:9", "-acodec", "aac", "-strict",
                                      "experimental", "-ar", "44100", "-ac", "2", "-ab", "96K", "-vf", "yadif",
                                      "-y", "/out/a_conv.mp4"};
        unitFile job;
        QCOMPARE(job.buildConversionArguments("/in/a.mp4", "/out/a_conv.mp4", "Mp4"), expected);

        QPointer<videoSettings> second = openVideoSettings("Mp4");
        combo(second, "comboCodecVideo")->setCurrentText("H.265");
        spin(second)->setValue(9000);
        click(second, "cancel");
        QTRY_VERIFY(second.isNull());
        QCOMPARE(job.buildConversionArguments("/in/a.mp4", "/out/a_conv.mp4", "Mp4"), expected);
    }
};

VANTOREL_QTEST_MAIN(VideoSettingsTest)
#include "video_settings_test.moc"
