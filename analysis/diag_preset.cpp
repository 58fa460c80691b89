#include "analysis/diag_preset.h"

#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <iterator>

#include "analysis/resource_cipher.h"
#include "analysis/resource_key.h"

// The documents are compiled into this static library; this makes sure the linker keeps them.
static void initBuiltInDocuments() { Q_INIT_RESOURCE(diag_documents); }

namespace {

std::vector<QDomElement> childElements(const QDomElement& parent, const QString& name = QString()) {
    std::vector<QDomElement> out;
    for (QDomElement e = parent.firstChildElement(name); !e.isNull(); e = e.nextSiblingElement(name)) out.push_back(e);
    return out;
}

int numberIn(const QDomElement& parent, const char* name) {
    return parent.firstChildElement(QString::fromLatin1(name)).text().toInt();
}

NalTypeStats packetStats(const QDomElement& packet) {
    NalTypeStats stats;
    stats.type = numberIn(packet, "type");
    stats.minSize = std::uint32_t(numberIn(packet, "min"));
    stats.maxSize = std::uint32_t(numberIn(packet, "max"));
    for (const QDomElement& word : childElements(packet.firstChildElement(QStringLiteral("hexcode"))))
        stats.headerWords.push_back(std::uint32_t(word.text().toInt()));
    return stats;
}

DiagPreset presetFrom(const QDomElement& element, bool hevc) {
    DiagPreset preset;
    preset.isHEVC = hevc;
    preset.presetName = element.firstChildElement(QStringLiteral("presettype")).text().toStdString();
    for (const QDomElement& header : childElements(element.firstChildElement(QStringLiteral("headers"))))
        preset.headers.push_back(header.text().toStdString());
    const QDomElement packets = element.firstChildElement(QStringLiteral("packets"));
    for (const QDomElement& packet : childElements(packets, QStringLiteral("packet"))) {
        // Placed by type, whatever the document's order; a type outside the table is dropped.
        NalTypeStats stats = packetStats(packet);
        if (stats.type >= 0 && stats.type < kNalTypeCount) preset.nalStats[std::size_t(stats.type)] = std::move(stats);
    }
    return preset;
}

QDomElement rootOf(const QString& xml, QDomDocument& document) {
    if (xml.isEmpty() || !document.setContent(xml)) return {};
    return document.documentElement();
}

struct PacketRule {
    int type;
    std::vector<std::uint32_t> words;
    std::uint32_t minSize;
    std::uint32_t maxSize;
};

const std::vector<PacketRule> kHevcRules = {
    {2, {0x0402, 0x0403, 0x0404}, 16, 2500000},
    {7, {0x0E02, 0x0E01}, 8000, 550513},
    {19, {0x2601}, 100000, 2326536},
    {20, {0x2801}, 5004, 2326536},
    {21, {0x2A01}, 50000, 2326536},
    {32, {0x4001}, 35, 35},
    {33, {0x4201}, 43, 43},
    {34, {0x4401}, 7, 7},
    {39, {0x4E0105}, 32, 32},  // prefix SEI header and payload type 5
};

const std::vector<PacketRule> kH264Rules = {
    {9, {0x0910, 0x0950, 0x0930}, 3, 9},
    {6, {0x0600, 0x0601, 0x0605}, 5, 200},
    {7, {0x2764, 0x2742, 0x674D, 0x6742}, 8, 200},
    {8, {0x28EE, 0x28CE, 0x68EE}, 4, 50},
    {12, {0x0CFF}, 5, 250000},
};

}  // namespace

DiagPreset::DiagPreset() : nalStats(kNalTypeCount) {
    for (int t = 0; t < kNalTypeCount; ++t) nalStats[std::size_t(t)].type = t;
}

const NalTypeStats* DiagPreset::entry(int type) const {
    if (type < 0 || std::size_t(type) >= nalStats.size()) return nullptr;
    return &nalStats[std::size_t(type)];
}

std::vector<DiagPreset> presetsFromDocument(const QString& xml, bool hevc) {
    QDomDocument document;
    std::vector<DiagPreset> presets;
    for (const QDomElement& element : childElements(rootOf(xml, document), QStringLiteral("preset")))
        presets.push_back(presetFrom(element, hevc));
    return presets;
}

std::vector<std::string> spsListFromDocument(const QString& xml) {
    QDomDocument document;
    std::vector<std::string> list;
    for (const QDomElement& entry : childElements(rootOf(xml, document), QStringLiteral("entry")))
        for (const QDomElement& sps : childElements(entry, QStringLiteral("sps_pds")))
            list.push_back(sps.text().toUtf8().toStdString());
    return list;
}

QString readBuiltInDocument(const QString& resource) {
    initBuiltInDocuments();
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    QTextStream in(&file);
    QString joined;
    while (!in.atEnd()) joined += in.readLine();
    ResourceCipher cipher(kResourceKey);
    return cipher.decryptToString(joined);
}

void loadSpsList(std::vector<std::string>& spsList) {
    const std::vector<std::string> list = spsListFromDocument(readBuiltInDocument(kSpsListResource));
    spsList.insert(spsList.end(), list.begin(), list.end());
}

void loadPresets(bool h264Document, std::vector<DiagPreset>& presets) {
    std::vector<DiagPreset> loaded =
        presetsFromDocument(readBuiltInDocument(h264Document ? kH264PresetsResource : kH265PresetsResource), !h264Document);
    std::move(loaded.begin(), loaded.end(), std::back_inserter(presets));
}

void addBuiltInPacketRules(std::vector<DiagPreset>& presets) {
    for (DiagPreset& preset : presets) {
        for (const PacketRule& rule : preset.isHEVC ? kHevcRules : kH264Rules) {
            NalTypeStats& stats = preset.nalStats[std::size_t(rule.type)];
            for (const std::uint32_t word : rule.words) stats.headerWords.push_back(word);
            stats.minSize = rule.minSize;
            stats.maxSize = rule.maxSize;
        }
    }
}
