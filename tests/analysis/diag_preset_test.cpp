// The preset and parameter-set documents: reading them into records, the fixed packet rules, and
// the built-in documents as the program carries them (enciphered with the build's key).
#include "analysis/diag_preset.h"

#include <gtest/gtest.h>

#include <QDomDocument>

#include <stdexcept>

#include "media/hex_text.h"
#include "repair/preset_traits.h"

namespace {

const QString kTwoPresets = QStringLiteral(R"(<presets>
  <preset>
    <presettype>first</presettype>
    <headers><h>0000000167</h><h>0000000168</h></headers>
    <packets>
      <packet><type>5</type><min>100</min><max>900</max><hexcode><w>25992</w><w>25988</w></hexcode></packet>
      <packet><type>1</type><min>10</min><max>90</max><hexcode><w>16794</w></hexcode></packet>
      <packet><type>70</type><min>1</min><max>2</max><hexcode><w>1</w></hexcode></packet>
      <ignored>x</ignored>
    </packets>
  </preset>
  <other/>
  <preset><presettype>second</presettype></preset>
</presets>)");

TEST(PresetDocument, PacketsArePlacedByTypeAndMissingTypesStaySeeded) {
    const std::vector<DiagPreset> presets = presetsFromDocument(kTwoPresets, true);
    ASSERT_EQ(presets.size(), 2u);
    const DiagPreset& first = presets[0];
    EXPECT_TRUE(first.isHEVC);
    EXPECT_EQ(first.score, 0);
    EXPECT_EQ(first.presetName, "first");
    EXPECT_EQ(first.headers, (std::vector<std::string>{"0000000167", "0000000168"}));
    ASSERT_EQ(first.nalStats.size(), std::size_t(kNalTypeCount));
    EXPECT_EQ(first.nalStats[5].minSize, 100u);
    EXPECT_EQ(first.nalStats[5].headerWords, (std::vector<std::uint32_t>{25992, 25988}));
    EXPECT_EQ(first.nalStats[1].maxSize, 90u);
    for (int t : {0, 2, 9, 63}) {
        EXPECT_EQ(first.nalStats[std::size_t(t)].type, t);
        EXPECT_EQ(first.nalStats[std::size_t(t)].minSize, 16777215u);
        EXPECT_EQ(first.nalStats[std::size_t(t)].maxSize, 0u);
        EXPECT_TRUE(first.nalStats[std::size_t(t)].headerWords.empty());
    }
    EXPECT_EQ(first.entry(70), nullptr);
    EXPECT_EQ(presets[1].presetName, "second");
    EXPECT_TRUE(presets[1].headers.empty());
}

TEST(PresetDocument, TextThatIsNoDocumentGivesNothing) {
    EXPECT_TRUE(presetsFromDocument(QString(), false).empty());
    EXPECT_TRUE(presetsFromDocument(QStringLiteral("<presets><preset>"), false).empty());
    EXPECT_TRUE(spsListFromDocument(QStringLiteral("not xml")).empty());
}

TEST(SpsListDocument, EntriesInDocumentOrder) {
    const QString xml = QStringLiteral(
        "<list><entry><sps_pds>AA</sps_pds><sps_pds>BB</sps_pds></entry><x><sps_pds>CC</sps_pds></x>"
        "<entry><sps_pds>DD</sps_pds></entry></list>");
    EXPECT_EQ(spsListFromDocument(xml), (std::vector<std::string>{"AA", "BB", "DD"}));
}

TEST(PacketRules, AppendWordsAndOverwriteBounds) {
    std::vector<DiagPreset> presets = presetsFromDocument(kTwoPresets, false);
    presets[0].nalStats[9].headerWords = {0x0970};
    presets[0].nalStats[9].minSize = 1;
    presets[0].nalStats[9].maxSize = 1000;
    std::vector<DiagPreset> hevc = presetsFromDocument(kTwoPresets, true);
    addBuiltInPacketRules(presets);
    addBuiltInPacketRules(hevc);

    const NalTypeStats& delimiter = presets[0].nalStats[9];
    EXPECT_EQ(delimiter.headerWords, (std::vector<std::uint32_t>{0x0970, 0x0910, 0x0950, 0x0930}));
    EXPECT_EQ(delimiter.minSize, 3u);
    EXPECT_EQ(delimiter.maxSize, 9u);
    EXPECT_EQ(presets[1].nalStats[12].headerWords, (std::vector<std::uint32_t>{0x0CFF}));
    EXPECT_EQ(presets[1].nalStats[7].maxSize, 200u);

    EXPECT_EQ(hevc[0].nalStats[39].headerWords, (std::vector<std::uint32_t>{0x4E0105}));
    EXPECT_EQ(hevc[0].nalStats[19].minSize, 100000u);
    EXPECT_EQ(hevc[0].nalStats[33].maxSize, 43u);
    EXPECT_TRUE(hevc[0].nalStats[9].headerWords.empty());  // no H.264 rules on H.265 presets
}

// The packet elements of each preset of a built-in document, as the document lists them.
std::vector<std::vector<int>> packetTypesOf(const QString& xml) {
    QDomDocument document;
    EXPECT_TRUE(document.setContent(xml));
    std::vector<std::vector<int>> out;
    for (QDomElement p = document.documentElement().firstChildElement("preset"); !p.isNull();
         p = p.nextSiblingElement("preset")) {
        std::vector<int> types;
        for (QDomElement k = p.firstChildElement("packets").firstChildElement("packet"); !k.isNull();
             k = k.nextSiblingElement("packet"))
            types.push_back(k.firstChildElement("type").text().toInt());
        out.push_back(types);
    }
    return out;
}

TEST(BuiltInDocuments, DecipherWithTheBuildKeyAndListEveryTypeInOrder) {
    std::vector<int> allTypes;
    for (int t = 0; t < kNalTypeCount; ++t) allTypes.push_back(t);
    for (const QString& resource : {kH264PresetsResource, kH265PresetsResource}) {
        SCOPED_TRACE(resource.toStdString());
        const QString xml = readBuiltInDocument(resource);
        ASSERT_FALSE(xml.isEmpty());
        const auto presets = packetTypesOf(xml);
        ASSERT_FALSE(presets.empty());
        for (const std::vector<int>& types : presets) EXPECT_EQ(types, allTypes);
    }
    EXPECT_FALSE(readBuiltInDocument(kSpsListResource).isEmpty());
}

TEST(BuiltInDocuments, LoadAsTheWorkerUsesThem) {
    std::vector<std::string> spsList;
    std::vector<DiagPreset> presets;
    loadSpsList(spsList);
    loadPresets(true, presets);
    const std::size_t h264Count = presets.size();
    loadPresets(false, presets);
    ASSERT_GE(h264Count, 1u);
    ASSERT_GT(presets.size(), h264Count);
    EXPECT_FALSE(spsList.empty());
    addBuiltInPacketRules(presets);

    for (std::size_t i = 0; i < presets.size(); ++i) {
        const DiagPreset& preset = presets[i];
        SCOPED_TRACE(preset.presetName);
        EXPECT_EQ(preset.isHEVC, i >= h264Count);
        EXPECT_FALSE(preset.headers.empty());
        std::string bytes;
        for (const std::string& header : preset.headers) EXPECT_TRUE(hexToBytes(header, bytes)) << header;
        // The names must not switch on any camera's packet or NAL rules.
        const PresetTraits traits = PresetTraits::fromName(preset.presetName);
        EXPECT_FALSE(traits.sony || traits.ambarella || traits.gopro || traits.jvc || traits.panasonic || traits.iphone ||
                     traits.canon || traits.nikon || traits.novatek || traits.icat);
        for (const char* word : {"dji", "small-mp4", "70d", "600d"})
            EXPECT_EQ(preset.presetName.find(word), std::string::npos);
        const NalTypeStats& rule = preset.nalStats[preset.isHEVC ? 32 : 9];
        EXPECT_FALSE(rule.headerWords.empty());
        // A preset learnt from real streams knows its slices.
        const NalTypeStats& slices = preset.nalStats[1];
        EXPECT_TRUE(slices.seen());
        EXPECT_FALSE(slices.headerWords.empty());
    }
    std::string bytes;
    for (const std::string& entry : spsList) EXPECT_TRUE(hexToBytes(entry, bytes)) << entry;
}

TEST(BuiltInDocuments, MissingResourceGivesEmptyText) {
    EXPECT_TRUE(readBuiltInDocument(QStringLiteral(":/files/xml/res/99.xml")).isEmpty());
}

}  // namespace
