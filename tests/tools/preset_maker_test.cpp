// The maintainer's preset tool: a preset from generated clips, merged clips, and the two
// documents it keeps.
#include "tools/presets/preset_document.h"

#include <gtest/gtest.h>

#include <QDomDocument>

#include <algorithm>

#include "tests/support/test_clips.h"

namespace {

std::string clipAt(testsupport::VideoCodec codec, const char* bitRate) {
    testsupport::ClipSettings settings = testsupport::clipSettings(codec, testsupport::AudioCodec::None);
    settings.seconds = 0.5;
    settings.extraArgs = {"-b:v", bitRate};
    return testsupport::clip(settings);
}

PresetSource sourceOf(std::initializer_list<std::string> paths) {
    PresetSource source;
    for (const std::string& path : paths) {
        QString error;
        EXPECT_TRUE(addRecording(path, source, error)) << error.toStdString();
    }
    return source;
}

TEST(PresetMaker, OneRecordingGivesEveryTypeAndItsParameterSets) {
    const PresetSource source = sourceOf({clipAt(testsupport::VideoCodec::H264, "300k")});
    ASSERT_EQ(source.nalStats.size(), 64u);
    EXPECT_FALSE(source.hevc);
    for (int t = 0; t < 64; ++t) EXPECT_EQ(source.nalStats[std::size_t(t)].type, t);
    EXPECT_TRUE(source.nalStats[5].seen());
    EXPECT_FALSE(source.nalStats[5].headerWords.empty());
    const NalTypeStats& unseen = source.nalStats[20];
    EXPECT_EQ(unseen.minSize, 16777215u);
    EXPECT_EQ(unseen.maxSize, 0u);
    EXPECT_TRUE(unseen.headerWords.empty());
    ASSERT_EQ(source.headers.size(), 1);
    const QString& header = source.headers[0];
    EXPECT_TRUE(header.startsWith(QStringLiteral("0000000167")));
    EXPECT_EQ(header, header.toUpper());
    EXPECT_EQ(header.count(QStringLiteral("00000001")), 2);  // SPS and PPS, nothing else
}

TEST(PresetMaker, H265HeadersHoldOnlyParameterSets) {
    const PresetSource source = sourceOf({clipAt(testsupport::VideoCodec::H265, "300k")});
    EXPECT_TRUE(source.hevc);
    ASSERT_EQ(source.headers.size(), 1);
    // VPS (40 01), SPS (42 01), PPS (44 01); the encoder's SEI record is left out.
    EXPECT_TRUE(source.headers[0].startsWith(QStringLiteral("000000014001")));
    EXPECT_FALSE(source.headers[0].contains(QStringLiteral("000000014E01")));
}

TEST(PresetMaker, RecordingsMergeIntoTheWidestRanges) {
    const std::string low = clipAt(testsupport::VideoCodec::H264, "100k");
    const std::string high = clipAt(testsupport::VideoCodec::H264, "3M");
    const PresetSource a = sourceOf({low});
    const PresetSource b = sourceOf({high});
    const PresetSource both = sourceOf({low, high});
    for (int t : {1, 5}) {
        const NalTypeStats& m = both.nalStats[std::size_t(t)];
        EXPECT_EQ(m.minSize, std::min(a.nalStats[std::size_t(t)].minSize, b.nalStats[std::size_t(t)].minSize));
        EXPECT_EQ(m.maxSize, std::max(a.nalStats[std::size_t(t)].maxSize, b.nalStats[std::size_t(t)].maxSize));
        for (std::uint32_t w : b.nalStats[std::size_t(t)].headerWords)
            EXPECT_NE(std::find(m.headerWords.begin(), m.headerWords.end(), w), m.headerWords.end());
    }
    EXPECT_EQ(both.clips, 2);

    PresetSource mixed = sourceOf({low});
    QString error;
    EXPECT_FALSE(addRecording(clipAt(testsupport::VideoCodec::H265, "300k"), mixed, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(addRecording("no-such-file.mp4", mixed, error));
}

TEST(PresetMaker, DocumentsReplaceByNameAndListEachPairOnce) {
    const PresetSource source = sourceOf({clipAt(testsupport::VideoCodec::H264, "300k")});
    QString presets = withPreset(QString(), QStringLiteral("x264 test"), source);
    presets = withPreset(presets, QStringLiteral("other"), source);
    presets = withPreset(presets, QStringLiteral("x264 test"), source);
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(presets));
    QStringList names;
    for (QDomElement p = doc.documentElement().firstChildElement("preset"); !p.isNull(); p = p.nextSiblingElement("preset"))
        names << p.firstChildElement("presettype").text();
    EXPECT_EQ(names, (QStringList{"x264 test", "other"}));
    const QDomElement first = doc.documentElement().firstChildElement("preset");
    int expected = 0;
    for (QDomElement k = first.firstChildElement("packets").firstChildElement("packet"); !k.isNull();
         k = k.nextSiblingElement("packet"))
        EXPECT_EQ(k.firstChildElement("type").text().toInt(), expected++);
    EXPECT_EQ(expected, 64);

    const QString once = withSpsEntries(QString(), source);
    EXPECT_EQ(withSpsEntries(once, source), once);
    EXPECT_EQ(once.count(QStringLiteral("<sps_pds>")), 1);
}

}  // namespace
