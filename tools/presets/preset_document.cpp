#include "tools/presets/preset_document.h"

#include <QDomDocument>
#include <QDomElement>

#include <algorithm>

#include "mp4/nal_header.h"
#include "reference/mp4_structure.h"

namespace {

constexpr int kIndent = 1;

void mergeStats(NalTypeStats& into, const NalTypeStats& from) {
    if (!from.seen()) return;
    into.minSize = std::min(into.minSize, from.minSize);
    into.maxSize = std::max(into.maxSize, from.maxSize);
    for (std::uint32_t word : from.headerWords) into.addHeaderWord(word);
}

QDomElement textElement(QDomDocument& doc, const QString& name, const QString& text) {
    QDomElement e = doc.createElement(name);
    e.appendChild(doc.createTextNode(text));
    return e;
}

QDomElement presetElement(QDomDocument& doc, const QString& name, const PresetSource& source) {
    QDomElement preset = doc.createElement(QStringLiteral("preset"));
    preset.appendChild(textElement(doc, QStringLiteral("presettype"), name));
    QDomElement headers = doc.createElement(QStringLiteral("headers"));
    for (const QString& header : source.headers) headers.appendChild(textElement(doc, QStringLiteral("header"), header));
    preset.appendChild(headers);
    QDomElement packets = doc.createElement(QStringLiteral("packets"));
    for (int type = 0; type < kNalTypeCount; ++type) {
        const NalTypeStats& stats = source.nalStats[std::size_t(type)];
        QDomElement packet = doc.createElement(QStringLiteral("packet"));
        packet.appendChild(textElement(doc, QStringLiteral("type"), QString::number(type)));
        packet.appendChild(textElement(doc, QStringLiteral("min"), QString::number(stats.minSize)));
        packet.appendChild(textElement(doc, QStringLiteral("max"), QString::number(stats.maxSize)));
        QDomElement hexcode = doc.createElement(QStringLiteral("hexcode"));
        for (std::uint32_t word : stats.headerWords)
            hexcode.appendChild(textElement(doc, QStringLiteral("word"), QString::number(word)));
        packet.appendChild(hexcode);
        packets.appendChild(packet);
    }
    preset.appendChild(packets);
    return preset;
}

QDomElement rootOrNew(QDomDocument& doc, const QString& text, const QString& rootName) {
    if (text.trimmed().isEmpty() || !doc.setContent(text)) {
        doc = QDomDocument();
        doc.appendChild(doc.createProcessingInstruction(QStringLiteral("xml"), QStringLiteral("version='1.0' encoding='UTF-8'")));
        doc.appendChild(doc.createElement(rootName));
    }
    return doc.documentElement();
}

// The parameter-set units of an Annex B hex text (VPS, SPS and PPS; the SEI units an encoder may
// keep beside them in its configuration record are left out). Start codes are looked for at byte
// boundaries only.
QString parameterSetsOnly(const QString& hex, bool hevc) {
    const QString startCode = QStringLiteral("00000001");
    std::vector<int> starts;
    for (int i = 0; i + 8 <= hex.size(); i += 2)
        if (hex.midRef(i, 8) == startCode) starts.push_back(i);
    QString kept;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const int begin = starts[k];
        const int end = k + 1 < starts.size() ? starts[k + 1] : hex.size();
        bool ok = false;
        const int header = hex.midRef(begin + 8, 2).toInt(&ok, 16);
        if (!ok) continue;
        if (mp4::isParameterSetType(mp4::nalTypeOf(std::uint8_t(header), hevc), hevc)) kept += hex.midRef(begin, end - begin);
    }
    return kept;
}

}  // namespace

bool addRecording(const std::string& path, PresetSource& source, QString& error) {
    AnalysisResult result;
    parseMp4File(path, result);
    const TrackRecord* video = nullptr;
    for (const TrackRecord& track : result.tracks)
        if (!track.videoHeaderHex.empty() && (track.sampleDescType == 3 || track.sampleDescType == 4)) video = &track;
    if (!video) {
        error = QStringLiteral("%1: no H.264 or H.265 track with parameter sets").arg(QString::fromStdString(path));
        return false;
    }
    const bool hevc = video->sampleDescType == 4;
    if (source.clips > 0 && hevc != source.hevc) {
        error = QStringLiteral("%1: H.264 and H.265 recordings cannot share a preset").arg(QString::fromStdString(path));
        return false;
    }
    source.hevc = hevc;
    if (source.nalStats.empty()) {
        source.nalStats.resize(kNalTypeCount);
        for (int t = 0; t < kNalTypeCount; ++t) source.nalStats[std::size_t(t)].type = t;
    }
    for (int t = 0; t < kNalTypeCount; ++t) mergeStats(source.nalStats[std::size_t(t)], result.nalStats[std::size_t(t)]);
    const QString header = parameterSetsOnly(QString::fromStdString(video->videoHeaderHex).toUpper(), hevc);
    if (!source.headers.contains(header)) source.headers.append(header);
    ++source.clips;
    return true;
}

QString withPreset(const QString& document, const QString& name, const PresetSource& source) {
    QDomDocument doc;
    QDomElement root = rootOrNew(doc, document, QStringLiteral("presets"));
    const QDomElement fresh = presetElement(doc, name, source);
    for (QDomElement e = root.firstChildElement(QStringLiteral("preset")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("preset"))) {
        if (e.firstChildElement(QStringLiteral("presettype")).text() == name) {
            root.replaceChild(fresh, e);
            return doc.toString(kIndent);
        }
    }
    root.appendChild(fresh);
    return doc.toString(kIndent);
}

QString withSpsEntries(const QString& document, const PresetSource& source) {
    QDomDocument doc;
    QDomElement root = rootOrNew(doc, document, QStringLiteral("spslist"));
    QStringList known;
    for (QDomElement e = root.firstChildElement(QStringLiteral("entry")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("entry")))
        for (QDomElement s = e.firstChildElement(QStringLiteral("sps_pds")); !s.isNull();
             s = s.nextSiblingElement(QStringLiteral("sps_pds")))
            known.append(s.text());
    for (const QString& header : source.headers) {
        if (known.contains(header)) continue;
        QDomElement entry = doc.createElement(QStringLiteral("entry"));
        entry.appendChild(textElement(doc, QStringLiteral("sps_pds"), header));
        root.appendChild(entry);
        known.append(header);
    }
    return doc.toString(kIndent);
}
