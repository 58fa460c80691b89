#include "jobs/conversion_preset.h"

#include <gtest/gtest.h>

#include <functional>

#include <QStringList>

#include "jobs/conversion_arguments.h"
#include "jobs/settings.h"

namespace {

class ConversionPresetTest : public ::testing::Test {
protected:
    void SetUp() override { QSettings(kSettingsOrganisation, kSettingsApplication).clear(); }
    void TearDown() override { QSettings(kSettingsOrganisation, kSettingsApplication).clear(); }
};

std::string describe(const conversionPreset& p) {
    return p.mCodecVideo + "|" + p.mCodecAudio + "|" + p.mSize + "|" + p.mAspect + "|" + p.mFps + "|" + p.mFrequency +
           "|" + p.mChannel + "|" + std::to_string(p.videoBitrate) + "|" + p.audioBitrate + "|" +
           (p.deinterlace ? "deinterlace" : "progressive");
}

// The ffmpeg tool's arguments for converting into `format` with `preset`.
QStringList argumentsOf(const QString& format, const conversionPreset& preset) {
    ConversionContext context;
    context.preset = preset;
    return buildConversionArguments("/in", "/out", format, context);
}

// The value behind `option` in `arguments`, or the empty text when the option is not there.
QString valueOf(const QStringList& arguments, const char* option) {
    const int at = arguments.indexOf(option);
    return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : QString();
}

// An empty store gives each format the conversion its default gives, whatever the letter case of
// the name it is asked under.
TEST_F(ConversionPresetTest, EmptyStoreConvertsWithTheDefaultInAnyLetterCase) {
    clsSettings settings;
    for (const char* offered : kOutputFormatNames) {
        const QString format(offered);
        SCOPED_TRACE(offered);
        const QStringList expected = argumentsOf(format, *defaultConversionPreset(format));
        for (const QString& name : {format, format.toLower(), format.toUpper()}) {
            SCOPED_TRACE(name.toStdString());
            EXPECT_EQ(argumentsOf(format, *settings.loadPreset(name)), expected);
            EXPECT_EQ(argumentsOf(format, *settings.defaultPreset(name)), expected);
        }
    }
}

// Names without a default of their own (re-encoding keeps the source's settings) give the empty
// preset, from the store as from the defaults.
TEST_F(ConversionPresetTest, NamesWithoutADefaultGiveTheEmptyPreset) {
    clsSettings settings;
    for (const char* name : {kReEncodeFormat, "Mp4 HD", "Mp4 ", "", "IPOD"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(*settings.loadPreset(name), conversionPreset{});
        EXPECT_EQ(*settings.defaultPreset(name), conversionPreset{});
    }
}

// Every format the window offers, except re-encoding, converts by its default with an audio
// encoder, two channels and no deinterlacing; its preset names a video codec (so the settings
// dialog shows the video group) exactly when its conversion keeps the picture, at a bit rate.
TEST_F(ConversionPresetTest, EveryOfferedFormatConvertsWithADefault) {
    for (const char* format : kOutputFormatNames) {
        if (QString(format) == kReEncodeFormat) continue;
        SCOPED_TRACE(format);
        const conversionPreset preset = *defaultConversionPreset(format);
        const QStringList arguments = argumentsOf(format, preset);
        EXPECT_FALSE(valueOf(arguments, "-acodec").isEmpty());
        EXPECT_EQ(valueOf(arguments, "-ac"), "2");
        EXPECT_FALSE(arguments.contains("yadif"));
        const bool picture = !arguments.contains("-vn");
        EXPECT_EQ(!preset.mCodecVideo.empty(), picture);
        if (picture) {
            EXPECT_NE(valueOf(arguments, "-vb"), "0K");
        }
    }
}

struct OverrideCase {
    const char* field;
    QVariant stored;
    std::function<void(conversionPreset&)> expect;  // applied to the Mp4 default
};

TEST_F(ConversionPresetTest, StoredValuesOverrideTheDefault) {
    const OverrideCase cases[] = {
        {"mSize", QString("Same as original"), [](conversionPreset& p) { p.mSize = "Same as original"; }},
        {"mCodecVideo", QString("VP8"), [](conversionPreset& p) { p.mCodecVideo = "VP8"; }},
        {"mAspect", QString("4:3"), [](conversionPreset& p) { p.mAspect = "4:3"; }},
        {"mFps", QString("29.97"), [](conversionPreset& p) { p.mFps = "29.97"; }},
        {"mCodecAudio", QString("AC3"), [](conversionPreset& p) { p.mCodecAudio = "AC3"; }},
        {"mFrequency", QString("48000"), [](conversionPreset& p) { p.mFrequency = "48000"; }},
        {"mChannel", QString("1"), [](conversionPreset& p) { p.mChannel = "1"; }},
        {"audioBitrate", QString("Same as original"), [](conversionPreset& p) { p.audioBitrate = "Same as original"; }},
        {"audioBitrate", QString(""), [](conversionPreset&) {}},
        {"videoBitrate", 3000, [](conversionPreset& p) { p.videoBitrate = 3000; }},
        {"videoBitrate", QString("2750"), [](conversionPreset& p) { p.videoBitrate = 2750; }},
        {"videoBitrate", QString("fast"), [](conversionPreset& p) { p.videoBitrate = 0; }},
        {"videoBitrate", QString("12k"), [](conversionPreset& p) { p.videoBitrate = 0; }},
        {"videoBitrate", QString("99999999999"), [](conversionPreset& p) { p.videoBitrate = 0; }},
        {"videoBitrate", QString(""), [](conversionPreset&) {}},
        {"deinterlace", true, [](conversionPreset& p) { p.deinterlace = true; }},
        {"deinterlace", QString("true"), [](conversionPreset& p) { p.deinterlace = true; }},
        {"deinterlace", QString("yes"), [](conversionPreset& p) { p.deinterlace = true; }},
        {"deinterlace", QString("false"), [](conversionPreset&) {}},
        {"deinterlace", QString("FALSE"), [](conversionPreset&) {}},
        {"deinterlace", QString("0"), [](conversionPreset&) {}},
        {"deinterlace", QString(""), [](conversionPreset&) {}},
    };
    for (const OverrideCase& c : cases) {
        SCOPED_TRACE(std::string(c.field) + "=" + c.stored.toString().toStdString());
        QSettings(kSettingsOrganisation, kSettingsApplication).clear();
        clsSettings settings;
        settings.setValue(presetKey("Mp4", c.field), c.stored);
        conversionPreset expected = *defaultConversionPreset("Mp4");
        c.expect(expected);
        EXPECT_EQ(describe(*settings.loadPreset("Mp4")), describe(expected));
    }
}

// The key prefix is the format text exactly as shown, blanks and letter case included.
TEST_F(ConversionPresetTest, KeysUseTheFormatTextAsGiven) {
    clsSettings settings;
    settings.setValue("DVD PalmSize", "704 x 576");
    settings.setValue("MP4mSize", "640 x 360");
    EXPECT_EQ(settings.loadPreset("DVD Pal")->mSize, "704 x 576");
    EXPECT_EQ(settings.loadPreset("Mp4")->mSize, defaultConversionPreset("Mp4")->mSize);
    EXPECT_EQ(settings.loadPreset("MP4")->mSize, "640 x 360");
    // The defaults never read the store.
    EXPECT_EQ(*settings.defaultPreset("DVD Pal"), *defaultConversionPreset("DVD Pal"));
}

// Written the way the settings dialog saves (texts, an integer, a boolean), read back whole.
TEST_F(ConversionPresetTest, SavedPresetLoadsBackUnchanged) {
    const conversionPreset saved{"MPEG2", "AC3", "Same as original", "4:3", "Same as original",
                                 "32000",  "1",   4200,               "Same as original", true};
    for (const char* format : {"Mp4", "DVD Ntsc", "Ogg / Theora", "Re-Encode (Keep same quality)"}) {
        SCOPED_TRACE(format);
        QSettings(kSettingsOrganisation, kSettingsApplication).clear();
        clsSettings().savePreset(format, saved);
        EXPECT_EQ(describe(*clsSettings().loadPreset(format)), describe(saved));
    }
}

TEST_F(ConversionPresetTest, TextsKeepTheirUtf8) {
    clsSettings settings;
    settings.setValue(presetKey("Mov", "mCodecVideo"), QString::fromUtf8("H.264 \xc3\xa9"));
    EXPECT_EQ(settings.loadPreset("Mov")->mCodecVideo, "H.264 \xc3\xa9");
}

}  // namespace
