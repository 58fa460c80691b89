#include "jobs/conversion_preset.h"

#include <gtest/gtest.h>

#include <functional>

#include "jobs/settings.h"

namespace {

class ConversionPresetTest : public ::testing::Test {
protected:
    void SetUp() override { QSettings(kSettingsOrganisation, kSettingsApplication).clear(); }
    void TearDown() override { QSettings(kSettingsOrganisation, kSettingsApplication).clear(); }
};

conversionPreset preset(std::string video, std::string audio, std::string size, std::string aspect, std::string fps,
                        std::string frequency, int32_t videoBitrate, std::string audioBitrate) {
    return conversionPreset{video, audio, size, aspect, fps, frequency, "2", videoBitrate, audioBitrate, false};
}

std::string describe(const conversionPreset& p) {
    return p.mCodecVideo + "|" + p.mCodecAudio + "|" + p.mSize + "|" + p.mAspect + "|" + p.mFps + "|" + p.mFrequency +
           "|" + p.mChannel + "|" + std::to_string(p.videoBitrate) + "|" + p.audioBitrate + "|" +
           (p.deinterlace ? "deinterlace" : "progressive");
}

struct DefaultCase {
    const char* format;
    conversionPreset expected;
};

// An empty store yields the default row, whatever the letter case of the name.
TEST_F(ConversionPresetTest, EmptyStoreLoadsTheDefaultRowInAnyLetterCase) {
    const conversionPreset none{};
    const DefaultCase cases[] = {
        {"DVD Pal", preset("MPEG2", "AC3", "720 x 576", "16:9", "25", "44100", 5760, "448K")},
        {"dvd ntsc", preset("MPEG2", "AC3", "720 x 480", "16:9", "29.97", "44100", 5760, "448K")},
        {"Mp3", preset("", "MP3", "", "", "", "44100", 0, "128K")},
        {"OGG VORBIS", preset("", "OGG", "", "", "", "44100", 0, "128K")},
        {"AVI", preset("H.264", "mp3", "960 x 540", "16:9", "25", "44100", 1400, "128K")},
        {"Wmv", preset("WMV8", "WMA", "640 x 360", "16:9", "25", "44100", 750, "96K")},
        {"Mpeg1", preset("MPEG1", "MP2", "720 x 480", "16:9", "29.97", "48000", 1000, "224K")},
        {"Mp4 HD 1080P", preset("H.264", "AAC", "1920 x 1080", "16:9", "25", "44100", 8000, "192K")},
        {"MP4 HD 1080P", preset("H.264", "AAC", "1920 x 1080", "16:9", "25", "44100", 8000, "192K")},
        {"mp4 hd 1080p", preset("H.264", "AAC", "1920 x 1080", "16:9", "25", "44100", 8000, "192K")},
        {"Flv", preset("FLV", "MP3", "320 x 240", "4:3", "25", "44100", 750, "128K")},
        {"Ogg / Theora", preset("THEORA", "OGG", "1280 x 720", "16:9", "25", "44100", 1400, "128K")},
        {"Re-Encode (Keep same quality)", none},
        {"Mp4 HD", none},
        {"", none},
    };
    clsSettings settings;
    for (const DefaultCase& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(describe(*settings.loadPreset(c.format)), describe(c.expected));
        EXPECT_EQ(describe(*settings.defaultPreset(c.format)), describe(c.expected));
    }
}

// Every format the window offers, except re-encoding, must find its row.
TEST_F(ConversionPresetTest, EveryOfferedFormatHasADefault) {
    for (const char* format : kOutputFormatNames) {
        SCOPED_TRACE(format);
        const auto p = defaultConversionPreset(format);
        if (QString(format) == kReEncodeFormat) {
            EXPECT_EQ(*p, conversionPreset{});
            continue;
        }
        EXPECT_FALSE(p->mCodecAudio.empty());
        EXPECT_EQ(p->mChannel, "2");
        EXPECT_FALSE(p->deinterlace);
        EXPECT_EQ(p->mCodecVideo.empty(), p->videoBitrate == 0);
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
    EXPECT_EQ(settings.loadPreset("Mp4")->mSize, "1280 x 720");
    EXPECT_EQ(settings.loadPreset("MP4")->mSize, "640 x 360");
    // The defaults never read the store.
    EXPECT_EQ(settings.defaultPreset("DVD Pal")->mSize, "720 x 576");
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
