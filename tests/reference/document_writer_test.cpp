#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <sstream>

#include <boost/property_tree/xml_parser.hpp>

#include "mp4/fourcc_text.h"
#include "reference/document_writer.h"
#include "tests/reference/in_child.h"
#include "tests/support/test_files.h"

namespace pt = boost::property_tree;
using testsupport::TempDir;

namespace {

// An AAC track listed before an H.264 track, as some cameras write them.
AnalysisResult cameraResult() {
    AnalysisResult result;
    result.trackCount = 2;

    TrackRecord audio;
    audio.typeName = "Audio";
    audio.typeIndex = 1;
    audio.sampleDescType = 1;
    audio.sampleDescFormat = mp4::fourcc("mp4a");
    audio.sampleDescCoding = "MPEG-4 Audio";
    audio.minSize = 6;
    audio.maxSize = 400;
    audio.pcmSamplesPerChunk = 1;
    audio.audioHeaderHex = "fff15080043ffc";
    result.tracks.push_back(audio);

    TrackRecord video;
    video.typeName = "Video";
    video.typeIndex = 2;
    video.sampleDescType = 3;
    video.sampleDescFormat = mp4::fourcc("avc1");
    video.sampleDescCoding = "H.264";
    video.sampleWidth = 320;
    video.sampleHeight = 240;
    video.videoHeaderHex = "000000016742c01eab" "0000000168ce3c80";
    video.minSize = 12;
    video.maxSize = 9000;
    video.sampleSignatures = {{9000, 0x00000002}, {120, 0x9E0A1B2C}};
    result.tracks.push_back(video);

    result.nalStats[1].minSize = 100;
    result.nalStats[1].maxSize = 0x80000000;
    result.nalStats[1].headerWords = {0x419A2468};
    result.nalStats[5].minSize = 5000;
    result.nalStats[5].maxSize = 9000;
    result.nalStats[5].headerWords = {0x65888000, 0x65B80400};
    return result;
}

MediaInfo cameraMedia() {
    MediaInfo media;
    media.videoCodecName = "h264";
    media.width = 320;
    media.height = 240;
    media.fpsNum = 30000;
    media.fpsDen = 1001;
    media.audioCodecName = "aac";
    media.sampleRate = 48000;
    media.channels = 2;
    return media;
}

std::string unseenPacket(int type) {
    return "        <packet>\n"
           "            <type>" + std::to_string(type) + "</type>\n"
           "            <min>16777215</min>\n"
           "            <max>0</max>\n"
           "            <hexcode/>\n"
           "        </packet>\n";
}

const char* const kHead = R"(<?xml version="1.0" encoding="utf-8"?>
<videopreset>
    <name>Unknown</name>
    <preset>gopro hero 5</preset>
    <videocodec>h264</videocodec>
    <videoWidth>320</videoWidth>
    <videoHeight>240</videoHeight>
    <videoFps_den>1001</videoFps_den>
    <videoFps_num>30000</videoFps_num>
    <videoheader>000000016742C01EAB0000000168CE3C80</videoheader>
    <nbtracks>2</nbtracks>
    <audio>
        <audiocodec>aac</audiocodec>
        <bitpersample>0</bitpersample>
        <channel>2</channel>
        <SampleRate>48000</SampleRate>
        <block_align>0</block_align>
        <audio_little_endian>false</audio_little_endian>
        <audio_big_endian>false</audio_big_endian>
        <pcm_SampleSize>0</pcm_SampleSize>
        <pcm_SamplesPerChunk>1</pcm_SamplesPerChunk>
        <audioheader>FFF15080043FFC</audioheader>
    </audio>
    <tracks>
        <track>
            <type>Audio</type>
            <typeidx>1</typeidx>
            <sampleDescType>1</sampleDescType>
            <sampleDescFormatIDX>1836069985</sampleDescFormatIDX>
            <sampleDescCoding>MPEG-4 Audio</sampleDescCoding>
            <minsize>6</minsize>
            <maxsize>400</maxsize>
            <hexcode/>
        </track>
        <track>
            <type>Video</type>
            <typeidx>2</typeidx>
            <sampleDescType>3</sampleDescType>
            <sampleDescFormatIDX>1635148593</sampleDescFormatIDX>
            <sampleDescCoding>H.264</sampleDescCoding>
            <minsize>12</minsize>
            <maxsize>9000</maxsize>
            <hexcode>
                <bytes>
                    <size>9000</size>
                    <value>2</value>
                </bytes>
                <bytes>
                    <size>120</size>
                    <value>-1643504852</value>
                </bytes>
            </hexcode>
        </track>
    </tracks>
    <packets>
)";

const char* const kPacket1 = R"(        <packet>
            <type>1</type>
            <min>100</min>
            <max>-2147483648</max>
            <hexcode>
                <bytes>
                    <value>1100620904</value>
                </bytes>
            </hexcode>
        </packet>
)";

const char* const kPacket5 = R"(        <packet>
            <type>5</type>
            <min>5000</min>
            <max>9000</max>
            <hexcode>
                <bytes>
                    <value>1703444480</value>
                </bytes>
                <bytes>
                    <value>1706558464</value>
                </bytes>
            </hexcode>
        </packet>
)";

pt::ptree readBack(const std::string& path) {
    pt::ptree tree;
    pt::read_xml(path, tree);
    return tree;
}

std::size_t countChildren(const pt::ptree& node, const std::string& name) { return node.count(name); }

}  // namespace

TEST(DocumentWriter, WritesTheDocumentLayout) {
    TempDir dir;
    const std::string path = dir.file("ref.xml");
    ASSERT_TRUE(writeVideoPreset(path, "Unknown", "gopro hero 5", cameraResult(), cameraMedia()));

    std::string expected = kHead;
    for (int type = 0; type < kNalTypeCount; ++type) {
        if (type == 1)
            expected += kPacket1;
        else if (type == 5)
            expected += kPacket5;
        else
            expected += unseenPacket(type);
    }
    expected += "    </packets>\n</videopreset>\n";
    EXPECT_EQ(testsupport::readFile(path), expected);
}

TEST(DocumentWriter, FrameRatesAsText) {
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {30000.0f, "30000"}, {1001.0f, "1001"}, {29.97f, "29.97"}, {30000.0f / 1001.0f, "29.97"},
        {25.0f, "25"},       {0.0f, "0"},       {23.976f, "23.976"}, {90000.0f, "90000"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatFrameRate(c.value), c.text) << c.value;
}

TEST(DocumentWriter, WordsAsSignedBits) {
    const struct {
        std::uint32_t bits;
        const char* text;
    } cases[] = {
        {0, "0"},
        {0x7FFFFFFF, "2147483647"},
        {0x80000000, "-2147483648"},
        {0xFFFFFFFF, "-1"},
        {mp4::fourcc("avc1"), "1635148593"},
        {mp4::fourcc("mp4a"), "1836069985"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatWord(c.bits), c.text) << c.bits;
}

TEST(DocumentWriter, TrackListsDecideTheStreamElements) {
    TrackRecord video;
    video.typeIndex = 2;
    video.sampleWidth = 640;
    video.sampleHeight = 360;
    video.videoHeaderHex = "00000001ab";
    TrackRecord secondVideo = video;
    secondVideo.sampleWidth = 80;
    TrackRecord aac;
    aac.typeIndex = 1;
    aac.sampleDescFormat = mp4::fourcc("mp4a");
    aac.audioHeaderHex = "fff1";
    TrackRecord pcm;
    pcm.typeIndex = 1;
    pcm.sampleDescFormat = mp4::fourcc("twos");
    pcm.pcmSampleSize = 4;

    const struct {
        const char* what;
        std::vector<TrackRecord> tracks;
        int width;
        const char* header;
        std::size_t audioRuns;
        std::size_t audioHeaders;
    } cases[] = {
        {"no tracks", {}, 0, "", 0, 0},
        {"audio only", {pcm}, 0, "", 1, 0},
        {"video only", {video}, 640, "00000001AB", 0, 0},
        {"first video track wins", {aac, video, secondVideo}, 640, "00000001AB", 1, 1},
        {"one run per audio track", {pcm, video, aac}, 640, "00000001AB", 2, 1},
    };
    for (const auto& c : cases) {
        AnalysisResult result;
        result.tracks = c.tracks;
        const pt::ptree doc = buildVideoPreset("Unknown", "", result, MediaInfo());
        const pt::ptree& root = doc.get_child("videopreset");
        EXPECT_EQ(root.get<std::string>("videoWidth"), std::to_string(c.width)) << c.what;
        EXPECT_EQ(root.get<std::string>("videoheader"), c.header) << c.what;
        EXPECT_EQ(countChildren(root.get_child("audio"), "audiocodec"), c.audioRuns) << c.what;
        EXPECT_EQ(countChildren(root.get_child("audio"), "audioheader"), c.audioHeaders) << c.what;
        EXPECT_EQ(countChildren(root.get_child("tracks"), "track"), c.tracks.size()) << c.what;
        EXPECT_EQ(countChildren(root.get_child("packets"), "packet"), std::size_t(kNalTypeCount)) << c.what;
    }
}

TEST(DocumentWriter, MarkupInValuesIsEscaped) {
    AnalysisResult result;
    TrackRecord track;
    track.typeName = "Unknown (<&>)";
    track.sampleDescCoding = "a\x01\"b'\x80\xFF";
    result.tracks.push_back(track);
    MediaInfo media;
    media.videoCodecName = "x&y";

    TempDir dir;
    const std::string path = dir.file("ref.xml");
    ASSERT_TRUE(writeVideoPreset(path, "Unknown", "cam <1> & co", result, media));
    const pt::ptree doc = readBack(path);
    EXPECT_EQ(doc.get<std::string>("videopreset.preset"), "cam <1> & co");
    EXPECT_EQ(doc.get<std::string>("videopreset.videocodec"), "x&y");
    EXPECT_EQ(doc.get<std::string>("videopreset.tracks.track.type"), "Unknown (<&>)");
    // A control character has no XML form at all, and a lone high byte would break the encoding.
    EXPECT_EQ(doc.get<std::string>("videopreset.tracks.track.sampleDescCoding"), "a.\"b'..");
}

TEST(DocumentWriter, FailedWritesLeaveNoFile) {
    TempDir dir;
    const std::string folderAsTarget = dir.file("taken");
    std::filesystem::create_directory(folderAsTarget);
    const std::string cases[] = {dir.file("missing/ref.xml"), folderAsTarget, ""};
    for (const std::string& path : cases) {
        EXPECT_FALSE(writeVideoPreset(path, "Unknown", "", AnalysisResult(), MediaInfo())) << path;
        EXPECT_FALSE(testsupport::fileExists(dir.file("missing/ref.xml")));
    }
    // Nothing but the folder made above: no temporary file stays behind.
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().string(), folderAsTarget);
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
    EXPECT_TRUE(std::filesystem::is_empty(folderAsTarget));
}

TEST(DocumentWriter, ReplacesAnOlderDocumentWhole) {
    TempDir dir;
    const std::string path = dir.file("ref.xml");
    ASSERT_TRUE(testsupport::writeFile(path, std::string(200000, 'x')));
    ASSERT_TRUE(writeVideoPreset(path, "Unknown", "dji", AnalysisResult(), MediaInfo()));
    EXPECT_EQ(readBack(path).get<std::string>("videopreset.preset"), "dji");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(DocumentWriter, WriteFailingMidwayKeepsTheOlderDocument) {
    TempDir dir;
    const std::string path = dir.file("ref.xml");
    const std::string older = "<videopreset><preset>older</preset></videopreset>\n";
    ASSERT_TRUE(testsupport::writeFile(path, older));
    // A file-size limit below the document's size makes the write fail after its first bytes;
    // the limit is set in a child so that it binds nothing else.
    const auto outcome = testsupport::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2000, 2000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return std::string("no limit");
        return std::string(writeVideoPreset(path, "Unknown", "new", cameraResult(), cameraMedia()) ? "written"
                                                                                                   : "failed");
    });
    EXPECT_EQ(outcome, std::optional<std::string>("failed"));
    EXPECT_EQ(testsupport::readFile(path), older);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u) << "a temporary file stayed behind";
}
