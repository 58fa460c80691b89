#include "repair/reference_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "mp4/fourcc_text.h"
#include "reference/document_writer.h"
#include "tests/support/test_files.h"

namespace {

using testsupport::TempDir;

// Parts of a hand-written reference description; each test changes what it is about.
struct Doc {
    std::string preset = "<preset>sony a7</preset>";
    std::string sizes = "<videoWidth>1920</videoWidth><videoHeight> 1080 </videoHeight>";
    std::string fps = "<videoFps_den>1001</videoFps_den><videoFps_num>30000</videoFps_num>";
    std::string audio =
        "<audio><audiocodec>aac</audiocodec><bitpersample>16</bitpersample><channel>2</channel>"
        "<SampleRate>48000</SampleRate><block_align>4</block_align><audio_little_endian>true</audio_little_endian>"
        "<audio_big_endian>false</audio_big_endian><pcm_SampleSize>2</pcm_SampleSize>"
        "<pcm_SamplesPerChunk>1024</pcm_SamplesPerChunk><audioheader>1190</audioheader></audio>";
    std::string videoHeader = "<videoheader>0000000167</videoheader>";
    std::string trackCount = "<nbtracks>2</nbtracks>";
    std::string tracks =
        "<tracks>"
        "<track><type>Video</type><typeidx>2</typeidx><sampleDescType>3</sampleDescType>"
        "<sampleDescFormatIDX>1635148593</sampleDescFormatIDX><sampleDescCoding>H.264</sampleDescCoding>"
        "<minsize>100</minsize><maxsize>9000</maxsize><hexcode/></track>"
        "<track><type>Audio</type><typeidx>1</typeidx><sampleDescType>1</sampleDescType>"
        "<sampleDescFormatIDX>1836069985</sampleDescFormatIDX><sampleDescCoding>AAC</sampleDescCoding>"
        "<minsize>16777215</minsize><maxsize>0</maxsize>"
        "<hexcode><bytes><size>372</size><value>-2130706432</value></bytes></hexcode></track>"
        "</tracks>";
    std::string packets =
        "<packets><packet><type>1</type><min>20</min><max>5000</max>"
        "<hexcode><bytes><value>8602</value></bytes><bytes><value>8602</value></bytes></hexcode></packet></packets>";

    std::string text() const {
        return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<videopreset><name>Unknown</name>" + preset +
               "<videocodec>h264</videocodec>" + sizes + fps + videoHeader + trackCount + audio + tracks + packets +
               "</videopreset>\n";
    }
};

struct Read {
    AnalysisResult result;
    MediaInfo media;
    std::string preset;
    bool whole = false;  // what the reader answered: the document was read to its end
};

class ReferenceReader : public ::testing::Test {
protected:
    Read read(const std::string& document) {
        const std::string path = dir.file("ref.xml");
        EXPECT_TRUE(testsupport::writeFile(path, document));
        Read r;
        r.whole = readVideoPreset(QString::fromStdString(path), r.result, r.media, r.preset);
        EXPECT_FALSE(testsupport::fileExists(path)) << "the document is consumed";
        return r;
    }
    TempDir dir;
};

TEST_F(ReferenceReader, ReadsEveryValueAndHandsHeadersToTheFirstTracks) {
    const Read r = read(Doc().text());
    EXPECT_TRUE(r.whole);
    EXPECT_EQ(r.preset, "sony a7");
    EXPECT_EQ(r.media.width, 1920);
    EXPECT_EQ(r.media.height, 1080);  // surrounding white space is allowed
    EXPECT_EQ(r.media.videoCodecName, "h264");
    EXPECT_FLOAT_EQ(r.media.fpsDen, 1001);
    EXPECT_FLOAT_EQ(r.media.fpsNum, 30000);
    EXPECT_EQ(r.media.audioCodecName, "aac");
    EXPECT_EQ(r.media.littleEndian, 1);
    EXPECT_EQ(r.media.bigEndian, 0);
    EXPECT_EQ(r.media.sampleRate, 48000);
    EXPECT_EQ(r.result.trackCount, 2);
    ASSERT_EQ(r.result.tracks.size(), 2u);
    const TrackRecord& video = r.result.tracks[0];
    EXPECT_EQ(video.id, 0);
    EXPECT_EQ(video.sampleDescFormat, mp4::fourcc("avc1"));
    EXPECT_EQ(video.videoHeaderHex, "0000000167");
    EXPECT_FLOAT_EQ(video.trackWidth, 1920);
    EXPECT_EQ(video.minSize, 100);
    const TrackRecord& audio = r.result.tracks[1];
    EXPECT_EQ(audio.id, 1);
    EXPECT_EQ(audio.minSize, 0);           // never seen: every size admitted
    EXPECT_EQ(audio.maxSize, 16777215);
    EXPECT_EQ(audio.audioHeaderHex, "1190");
    EXPECT_EQ(audio.pcmSamplesPerChunk, 1024);
    ASSERT_EQ(audio.sampleSignatures.size(), 1u);
    EXPECT_EQ(audio.sampleSignatures[0].value, 0x81000000u);  // negative decimal, same bits
    EXPECT_EQ(audio.sampleSignatures[0].size, 372);
    EXPECT_EQ(r.result.nalStats[1].minSize, 20u);
    EXPECT_EQ(r.result.nalStats[1].headerWords, (std::vector<std::uint32_t>{8602, 8602}));  // duplicates kept
    EXPECT_EQ(r.result.nalStats[1].type, 1);
}

TEST_F(ReferenceReader, NoFileLeavesTheCallersRecords) {
    Read r;
    EXPECT_FALSE(readVideoPreset(QString::fromStdString(dir.file("missing.xml")), r.result, r.media, r.preset));
    EXPECT_TRUE(r.preset.empty());
    EXPECT_TRUE(r.result.tracks.empty());
    EXPECT_EQ(r.result.nalStats[5].minSize, kUnseenMinSize);
    EXPECT_EQ(r.result.nalStats[5].maxSize, 0u);
}

TEST_F(ReferenceReader, MalformedDocumentReadsNothingAndIsStillDeleted) {
    const Read r = read("<videopreset><preset>x</preset>");
    EXPECT_FALSE(r.whole);
    EXPECT_TRUE(r.preset.empty());
    EXPECT_TRUE(r.result.tracks.empty());
}

TEST_F(ReferenceReader, MissingTracksEndsBeforeTracksAndPackets) {
    Doc doc;
    doc.tracks.clear();
    const Read r = read(doc.text());
    EXPECT_EQ(r.preset, "sony a7");
    EXPECT_EQ(r.media.sampleRate, 48000);
    EXPECT_EQ(r.result.trackCount, 2);
    EXPECT_TRUE(r.result.tracks.empty());
    EXPECT_EQ(r.result.nalStats[1].maxSize, 0u);
}

TEST_F(ReferenceReader, ZeroTrackCountGivesNoHandOver) {
    Doc doc;
    doc.trackCount = "<nbtracks>0</nbtracks>";
    const Read r = read(doc.text());
    ASSERT_EQ(r.result.tracks.size(), 2u);
    EXPECT_TRUE(r.result.tracks[0].videoHeaderHex.empty());
    EXPECT_FLOAT_EQ(r.result.tracks[0].trackWidth, 0);
    EXPECT_TRUE(r.result.tracks[1].audioHeaderHex.empty());
}

TEST_F(ReferenceReader, FailedValuesEndTheReadWhereTheyStand) {
    struct Case {
        const char* name;
        void (*change)(Doc&);
        bool sizeRead;
        std::size_t tracks;
        bool packetsRead;
    };
    const Case cases[] = {
        {"missing height", [](Doc& d) { d.sizes = "<videoWidth>1920</videoWidth>"; }, false, 0, false},
        {"trailing text", [](Doc& d) { d.sizes = "<videoWidth>1920</videoWidth><videoHeight>10x</videoHeight>"; },
         false, 0, false},
        {"out of range", [](Doc& d) { d.trackCount = "<nbtracks>4294967296</nbtracks>"; }, true, 0, false},
        {"signature without size",
         [](Doc& d) {
             d.tracks.replace(d.tracks.find("<size>372</size>"), 16, "");
         },
         true, 1, false},
        {"second track without its type number",
         [](Doc& d) { d.tracks.replace(d.tracks.find("<typeidx>1</typeidx>"), 20, ""); }, true, 1, false},
        {"no packets", [](Doc& d) { d.packets.clear(); }, true, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Doc doc;
        c.change(doc);
        const Read r = read(doc.text());
        EXPECT_FALSE(r.whole);
        EXPECT_EQ(r.preset, "sony a7");
        EXPECT_EQ(r.media.height, c.sizeRead ? 1080 : 0);
        EXPECT_EQ(r.result.tracks.size(), c.tracks);
        EXPECT_EQ(r.result.nalStats[1].maxSize, c.packetsRead ? 5000u : 0u);
        if (!r.result.tracks.empty()) {
            EXPECT_TRUE(r.result.tracks[0].videoHeaderHex.empty());
        }
    }
}

TEST_F(ReferenceReader, DeepNestingIsRefusedBeforeAnythingIsRead) {
    const auto deep = [](const std::string& open, const std::string& close, int levels = 100000) {
        std::string text;
        for (int i = 0; i < levels; ++i) text += open;
        for (int i = 0; i < levels; ++i) text += close;
        return text;
    };
    struct Case {
        const char* name;
        void (*change)(Doc&, const std::string&);
        std::string nesting;
    };
    const Case cases[] = {
        {"in an element the reader ignores",
         [](Doc& d, const std::string& n) { d.preset += "<extra>" + n + "</extra>"; }, deep("<x>", "</x>")},
        {"in a signature", [](Doc& d, const std::string& n) { d.tracks.insert(d.tracks.find("<size>"), n); },
         deep("<x>", "</x>")},
        {"behind attribute values that look like ends",
         [](Doc& d, const std::string& n) { d.preset += n; }, deep("<x y=\"/>\">", "</x>")},
        {"unclosed, at the end", [](Doc& d, const std::string& n) { d.packets += n; }, deep("<x>", "")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Doc doc;
        c.change(doc, c.nesting);
        const Read r = read(doc.text());
        EXPECT_FALSE(r.whole);
        EXPECT_TRUE(r.preset.empty());
        EXPECT_TRUE(r.result.tracks.empty());
    }
    // Nesting as deep as a hand-made description might have is read as usual.
    Doc doc;
    doc.preset += deep("<x>", "</x>", 40);
    EXPECT_TRUE(read(doc.text()).whole);
}

TEST_F(ReferenceReader, AudioFormatValuesNoAudioHasEndTheRead) {
    struct Case {
        const char* element;
        const char* value;
        bool whole;
    };
    const Case cases[] = {
        {"bitpersample", "2147483647", false}, {"SampleRate", "2147483647", false}, {"channel", "-1", false},
        {"block_align", "65536", false},       {"bitpersample", "65", false},       {"channel", "1025", false},
        {"SampleRate", "50000001", false},     {"bitpersample", "64", true},        {"SampleRate", "50000000", true},
        {"channel", "1024", true},             {"block_align", "65535", true},      {"channel", "0", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.element) + " " + c.value);
        Doc doc;
        const std::string open = std::string("<") + c.element + ">";
        const std::size_t at = doc.audio.find(open) + open.size();
        doc.audio.replace(at, doc.audio.find('<', at) - at, c.value);
        const Read r = read(doc.text());
        EXPECT_EQ(r.whole, c.whole);
        EXPECT_EQ(r.result.tracks.size(), c.whole ? 2u : 0u);
    }
}

TEST_F(ReferenceReader, MoreTracksThanAnAnalysisMakesAreRefused) {
    const std::string empty =
        "<track><type>Unknown (trak)</type><typeidx>0</typeidx><sampleDescType>0</sampleDescType>"
        "<sampleDescFormatIDX>0</sampleDescFormatIDX><sampleDescCoding/><minsize>16777215</minsize>"
        "<maxsize>0</maxsize><hexcode/></track>";
    for (const std::size_t extra : {AnalysisResult::kMaxTracks - 2, AnalysisResult::kMaxTracks - 1}) {
        SCOPED_TRACE(extra);
        Doc doc;
        std::string tracks;
        for (std::size_t i = 0; i < extra; ++i) tracks += empty;
        doc.tracks.insert(doc.tracks.find("</tracks>"), tracks);
        doc.trackCount = "<nbtracks>199999</nbtracks>";
        const Read r = read(doc.text());
        const bool withinBound = 2 + extra <= AnalysisResult::kMaxTracks;
        EXPECT_EQ(r.whole, withinBound);
        EXPECT_EQ(r.result.tracks.size(), withinBound ? 2 + extra : AnalysisResult::kMaxTracks);
    }
}

TEST_F(ReferenceReader, DescriptionsLargerThanTheBoundAreRefusedUnread) {
    for (const std::size_t size : {kMaxDescriptionBytes, kMaxDescriptionBytes + 1}) {
        SCOPED_TRACE(size);
        // A comment, which the reader skips, makes the document `size` bytes long.
        std::string text = Doc().text();
        const std::string comment = "<!---->";
        ASSERT_LT(text.size() + comment.size(), size);
        text.insert(text.rfind("</videopreset>"), "<!--" + std::string(size - text.size() - comment.size(), 'x') + "-->");
        ASSERT_EQ(text.size(), size);
        const Read r = read(text);
        const bool withinBound = size <= kMaxDescriptionBytes;
        EXPECT_EQ(r.whole, withinBound);
        EXPECT_EQ(r.preset, withinBound ? "sony a7" : "") << "nothing of a larger one is taken";
        EXPECT_EQ(r.result.tracks.size(), withinBound ? 2u : 0u);
    }
}

// Ordwick at its limits: as many tracks, header words and sample signatures as an analysis
// records, each value as wide as its field allows.
AnalysisResult analysisAtItsLimits() {
    AnalysisResult result;
    for (std::size_t i = 0; i < AnalysisResult::kMaxTracks; ++i) {
        TrackRecord track;
        const bool video = i == 0;
        track.typeName = video ? "Video" : "Audio";
        track.typeIndex = video ? 2 : 1;
        track.sampleDescType = -2147483647;
        track.sampleDescFormat = mp4::fourcc(video ? "avc1" : "mp4a");
        track.sampleDescCoding = "MPEG-4 Audio";
        track.minSize = track.maxSize = -2147483647;
        track.videoHeaderHex = std::string(512, 'a');  // parameter sets as a camera writes them, many times over
        track.audioHeaderHex = std::string(14, 'f');
        track.pcmSampleSize = track.pcmSamplesPerChunk = -2147483647;
        result.tracks.push_back(track);
    }
    for (std::size_t i = 0; i < AnalysisResult::kMaxSampleSignatures; ++i)
        result.tracks[i % result.tracks.size()].sampleSignatures.push_back(
            {std::int32_t(-2147483647), 0x80000000u + std::uint32_t(i)});
    result.trackCount = 2147483647;
    for (NalTypeStats& type : result.nalStats) {
        type.minSize = type.maxSize = 0x7FFFFFFFu;
        for (std::uint32_t w = 0; w < HeaderWordList::kMaxHeaderWords; ++w) type.headerWords.add(0x80000000u + w);
    }
    return result;
}

TEST_F(ReferenceReader, WhatOrdwickWritesAtItsLimitsIsFarWithinTheBound) {
    const AnalysisResult written = analysisAtItsLimits();
    MediaInfo media;
    media.videoCodecName = "h264";
    media.audioCodecName = "pcm_s16be";
    const std::string path = dir.file("limits.xml");
    ASSERT_TRUE(writeVideoPreset(path, "Unknown", "gopro hero 5", written, media));
    const std::size_t size = testsupport::readFile(path).size();
    EXPECT_LE(2 * size, kMaxDescriptionBytes) << "a description of " << size << " bytes";

    Read r;
    EXPECT_TRUE(readVideoPreset(QString::fromStdString(path), r.result, r.media, r.preset));
    EXPECT_EQ(r.result.tracks.size(), AnalysisResult::kMaxTracks);
    EXPECT_EQ(r.result.tracks[1].sampleSignatures, written.tracks[1].sampleSignatures);
    EXPECT_EQ(r.result.nalStats[63].headerWords, written.nalStats[63].headerWords);
}

TEST_F(ReferenceReader, PacketWordsNeedOnlyAValue) {
    Doc doc;
    doc.packets =
        "<packets><packet><type>9</type><min>3</min><max>9</max><hexcode><bytes><value>2320</value></bytes>"
        "</hexcode></packet><packet><type>9</type><min>2</min><max>4</max><hexcode><bytes><value>2384</value>"
        "<size>7</size></bytes><other/></hexcode></packet></packets>";
    const Read r = read(doc.text());
    EXPECT_EQ(r.result.nalStats[9].minSize, 2u);  // the later packet of a type replaces the earlier
    EXPECT_EQ(r.result.nalStats[9].maxSize, 4u);
    EXPECT_EQ(r.result.nalStats[9].headerWords, (std::vector<std::uint32_t>{2384}));
    EXPECT_FALSE(r.result.tracks[0].videoHeaderHex.empty());  // the read completed
}

TEST_F(ReferenceReader, UnusablePacketsTouchNoEntry) {
    Doc doc;
    doc.packets =
        "<packets><packet><type>64</type><min>1</min><max>2</max><hexcode><bytes><value>1</value></bytes></hexcode>"
        "</packet><packet><type>-1</type><min>1</min><max>2</max><hexcode/></packet>"
        "<packet><type>5</type><min>-4</min><max>900</max><hexcode><bytes><value>25</value></bytes></hexcode>"
        "</packet><packet><type>6</type><min>5</min><max>-1</max><hexcode/></packet>"
        "<packet><type>7</type><min>8</min><max>20</max><hexcode/></packet></packets>";
    const Read r = read(doc.text());
    for (int type = 0; type < kNalTypeCount; ++type) {
        SCOPED_TRACE(type);
        const NalTypeStats& e = r.result.nalStats[static_cast<std::size_t>(type)];
        EXPECT_EQ(e.type, type);
        if (type == 7) continue;
        // Negative bounds count as a type never seen.
        EXPECT_EQ(e.minSize, kUnseenMinSize);
        EXPECT_EQ(e.maxSize, 0u);
        EXPECT_TRUE(e.headerWords.empty());
    }
    EXPECT_EQ(r.result.nalStats[7].maxSize, 20u);  // read on after the skipped ones
}

TEST_F(ReferenceReader, EmptyAudioElementReadsAsNoAudio) {
    Doc doc;
    doc.audio = "<audio/>";
    doc.tracks.replace(doc.tracks.find("<track><type>Audio"), std::string::npos, "</tracks>");
    const Read r = read(doc.text());
    EXPECT_EQ(r.media.audioCodecName, "");
    EXPECT_EQ(r.media.sampleRate, 0);
    EXPECT_EQ(r.media.littleEndian, 0);
    ASSERT_EQ(r.result.tracks.size(), 1u);
    EXPECT_EQ(r.result.tracks[0].videoHeaderHex, "0000000167");
    EXPECT_EQ(r.result.nalStats[1].maxSize, 5000u);
}

TEST_F(ReferenceReader, OnlyTheFirstAudioElementCounts) {
    Doc doc;
    doc.audio = "<audio><audiocodec>aac</audiocodec></audio>" + doc.audio;
    const Read r = read(doc.text());
    EXPECT_EQ(r.media.audioCodecName, "aac");
    EXPECT_EQ(r.media.bitsPerSample, 0);  // required in the first element: the read ends there
    EXPECT_TRUE(r.result.tracks.empty());
}

TEST_F(ReferenceReader, EndianFlagsAreExactTexts) {
    Doc doc;
    doc.audio.replace(doc.audio.find("<audio_little_endian>true"), 25, "<audio_little_endian>True");
    doc.audio.replace(doc.audio.find("<audio_big_endian>false"), 23, "<audio_big_endian>true");
    const Read r = read(doc.text());
    EXPECT_EQ(r.media.littleEndian, 0);
    EXPECT_EQ(r.media.bigEndian, 1);
}

TEST_F(ReferenceReader, VideoTrackKeepsUnseenSizes) {
    Doc doc;
    doc.tracks.replace(doc.tracks.find("<minsize>100</minsize><maxsize>9000</maxsize>"), 45,
                       "<minsize>16777215</minsize><maxsize>0</maxsize>");
    const Read r = read(doc.text());
    ASSERT_EQ(r.result.tracks.size(), 2u);
    EXPECT_EQ(r.result.tracks[0].minSize, 16777215);
    EXPECT_EQ(r.result.tracks[0].maxSize, 0);
}

TEST_F(ReferenceReader, ReadsBackWhatTheWriterWrote) {
    for (const bool withAudio : {true, false}) {
        SCOPED_TRACE(withAudio ? "video and audio" : "video only");
        AnalysisResult written;
        MediaInfo media;
        media.videoCodecName = "hevc";
        media.fpsNum = 30000;
        media.fpsDen = 1001;
        TrackRecord video;
        video.typeName = "Video";
        video.typeIndex = 2;
        video.sampleDescFormat = mp4::fourcc("hvc1");
        video.sampleDescCoding = "H.265";
        video.sampleWidth = 640;
        video.sampleHeight = 360;
        video.videoHeaderHex = "0000000140010c01";
        video.minSize = 12;
        video.maxSize = 70000;
        written.tracks.push_back(video);
        if (withAudio) {
            media.audioCodecName = "pcm_s16be";
            media.bitsPerSample = 16;
            media.channels = 2;
            media.sampleRate = 48000;
            media.bigEndian = 1;
            TrackRecord audio;
            audio.typeName = "Audio";
            audio.typeIndex = 1;
            audio.sampleDescFormat = mp4::fourcc("twos");
            audio.minSize = 4096;
            audio.maxSize = 4096;
            audio.pcmSampleSize = 2;
            audio.pcmSamplesPerChunk = 2048;
            audio.sampleSignatures.push_back({4096, 0xFFF10000u});
            written.tracks.push_back(audio);
        }
        written.trackCount = static_cast<std::int32_t>(written.tracks.size());
        written.nalStats[19].minSize = 900;
        written.nalStats[19].maxSize = 40000;
        written.nalStats[19].headerWords = {0x2601, 0x80000000u};
        const std::string path = dir.file("written.xml");
        ASSERT_TRUE(writeVideoPreset(path, "Unknown", "gopro hero 5", written, media));

        Read r;
        readVideoPreset(QString::fromStdString(path), r.result, r.media, r.preset);
        EXPECT_FALSE(testsupport::fileExists(path));
        EXPECT_EQ(r.preset, "gopro hero 5");
        EXPECT_EQ(r.media.width, 640);
        EXPECT_FLOAT_EQ(r.media.fpsDen, 1001);
        ASSERT_EQ(r.result.tracks.size(), written.tracks.size());
        EXPECT_EQ(r.result.tracks[0].videoHeaderHex, "0000000140010C01");  // upper-cased by the writer
        EXPECT_EQ(r.result.tracks[0].sampleDescCoding, "H.265");
        EXPECT_FLOAT_EQ(r.result.tracks[0].trackHeight, 360);
        EXPECT_EQ(r.result.nalStats[19].headerWords, written.nalStats[19].headerWords);
        EXPECT_EQ(r.result.nalStats[19].minSize, 900u);
        EXPECT_EQ(r.result.nalStats[20].minSize, kUnseenMinSize);
        if (withAudio) {
            EXPECT_EQ(r.media.bigEndian, 1);
            EXPECT_EQ(r.result.tracks[1].pcmSamplesPerChunk, 2048);
            EXPECT_EQ(r.result.tracks[1].sampleSignatures, written.tracks[1].sampleSignatures);
        }
    }
}

}  // namespace
