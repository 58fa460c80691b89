#include "jobs/settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

namespace {

// Each test starts from an empty store (the test program's own, never the user's).
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { QSettings(kSettingsOrganisation, kSettingsApplication).clear(); }
    void TearDown() override { QSettings(kSettingsOrganisation, kSettingsApplication).clear(); }
};

QString movies() { return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation); }

// The private folder the test program made for settings; the movies folder lies inside it.
QString privateRoot() { return QFileInfo(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))).path(); }

TEST_F(SettingsTest, StoreAndMoviesFolderLiveInThePrivateConfigurationFolder) {
    const QString config = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    ASSERT_FALSE(config.isEmpty());
    ASSERT_NE(QDir(config).canonicalPath(), QDir(QDir::homePath() + "/.config").canonicalPath());
    EXPECT_TRUE(clsSettings().fileName().startsWith(config)) << clsSettings().fileName().toStdString();
    EXPECT_TRUE(clsSettings::moviesFolder().startsWith(privateRoot() + "/"))
        << clsSettings::moviesFolder().toStdString();
}

TEST_F(SettingsTest, AbsentKeyReadsAsEmptyText) {
    const QVariant v = clsSettings().value("referenceFile");
    EXPECT_TRUE(v.isValid());
    EXPECT_EQ(v.toString(), QString());
}

struct DefaultCase {
    const char* key;
    QString expected;
};

// Defaults hold both for an absent key and for a stored empty text.
TEST_F(SettingsTest, EveryKeyHasItsDefaultWhenAbsentOrEmpty) {
    const QString moviesFolder = movies();
    const DefaultCase cases[] = {
        {"SavePath", moviesFolder + "/"},
        {"openPath", moviesFolder + "/"},
        {"saveInFileDirectory", "false"},
        {"mPreviewShow", "true"},
        {"GeneralFormatOutput", "Re-Encode (Keep same quality)"},
        {"GeneralRotation", "No Rotation"},
        {"referenceFile", ""},
        {"openPathReference", moviesFolder},
        {"firstlaunch", ""},
        {"Mp4mSize", ""},
        {"autoRemove", ""},
    };
    clsSettings settings;
    for (const DefaultCase& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(settings.valueOrDefault(c.key), c.expected);
        settings.setValue(c.key, QString());
        EXPECT_EQ(settings.valueOrDefault(c.key), c.expected);
    }
}

TEST_F(SettingsTest, StoredValueOverridesTheDefault) {
    clsSettings settings;
    settings.setValue("GeneralRotation", "Rotate 180°");
    settings.setValue("GeneralFormatOutput", "Mp4 HD 720P");
    EXPECT_EQ(settings.valueOrDefault("GeneralRotation"), QString("Rotate 180°"));
    EXPECT_EQ(settings.valueOrDefault("GeneralFormatOutput"), QString("Mp4 HD 720P"));
}

struct FlagCase {
    const char* key;
    QVariant stored;  // invalid: leave the key absent
    bool expected;
};

TEST_F(SettingsTest, BooleansAreTrueOnlyForTrueInAnyLetterCase) {
    const FlagCase cases[] = {
        {"mPreviewShow", QVariant(), true},
        {"mPreviewShow", QString(""), true},
        {"mPreviewShow", QString("yes"), false},
        {"mPreviewShow", QString("1"), false},
        {"mPreviewShow", QString("TRUE"), true},
        {"mPreviewShow", false, false},
        {"saveInFileDirectory", QVariant(), false},
        {"saveInFileDirectory", QString("True"), true},
        {"saveInFileDirectory", true, true},
        {"saveInFileDirectory", QString("false"), false},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.stored.toString().toStdString());
        QSettings(kSettingsOrganisation, kSettingsApplication).clear();
        clsSettings settings;
        if (c.stored.isValid()) settings.setValue(c.key, c.stored);
        EXPECT_EQ(settings.flag(c.key), c.expected);
    }
}

TEST_F(SettingsTest, BooleanWrittenByTheProgramReadsBackAsText) {
    clsSettings().setValue("saveInFileDirectory", true);
    clsSettings().setValue("mPreviewShow", false);
    EXPECT_EQ(clsSettings().value("saveInFileDirectory").toString(), QString("true"));
    EXPECT_EQ(clsSettings().value("mPreviewShow").toString(), QString("false"));
}

TEST_F(SettingsTest, SavePathFallsBackToACreatedMoviesFolder) {
    // Never remove a real movies folder.
    ASSERT_TRUE(QFileInfo(privateRoot()).fileName().startsWith("qt-test-settings-"));
    ASSERT_TRUE(movies().startsWith(privateRoot() + "/")) << movies().toStdString();
    QDir(movies()).removeRecursively();
    ASSERT_FALSE(QFileInfo(movies()).exists());
    clsSettings settings;
    EXPECT_EQ(settings.savePath(), movies() + "/");
    EXPECT_TRUE(QFileInfo(movies()).isDir());

    settings.setValue("SavePath", "/no/such/folder/anywhere/");
    EXPECT_EQ(settings.savePath(), movies() + "/");

    QTemporaryDir kept;
    ASSERT_TRUE(kept.isValid());
    settings.setValue("SavePath", kept.path() + "/");
    EXPECT_EQ(settings.savePath(), kept.path() + "/");
}

TEST_F(SettingsTest, OpenFoldersFallBackToTheMoviesFolderWhenMissing) {
    clsSettings settings;
    settings.setValue("openPath", "/no/such/folder/anywhere/");
    settings.setValue("openPathReference", "/no/such/folder/anywhere");
    EXPECT_EQ(settings.openPath(), movies() + "/");
    EXPECT_EQ(settings.openPathReference(), movies());

    QTemporaryDir kept;
    ASSERT_TRUE(kept.isValid());
    settings.setValue("openPath", kept.path());
    settings.setValue("openPathReference", kept.path());
    EXPECT_EQ(settings.openPath(), kept.path());
    EXPECT_EQ(settings.openPathReference(), kept.path());
}

TEST_F(SettingsTest, InstancesSeeEachOthersWritesAtOnce) {
    clsSettings gui;
    EXPECT_EQ(gui.valueOrDefault("GeneralRotation"), QString("No Rotation"));
    {
        clsSettings other;
        other.setValue("GeneralRotation", "Rotate left 90°");
    }
    // Read on a second thread, as a job does with its own instance.
    QString seenByJob;
    std::unique_ptr<QThread> job(QThread::create([&] { seenByJob = clsSettings().valueOrDefault("GeneralRotation"); }));
    job->start();
    ASSERT_TRUE(job->wait(10000));
    EXPECT_EQ(seenByJob, QString("Rotate left 90°"));
    EXPECT_EQ(gui.valueOrDefault("GeneralRotation"), QString("Rotate left 90°"));
}

}  // namespace
