#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reference/mp4_structure.h"
#include "tests/mp4/box_builder.h"
#include "tests/support/test_files.h"

using namespace boxes;

namespace {

const std::string kSps = bytes({0x67, 0x64, 0x00, 0x1F, 0xAC, 0xD9});
const std::string kSps2 = bytes({0x67, 0x4D, 0x40, 0x1E});
const std::string kPps = bytes({0x68, 0xEB, 0xE3, 0xCB});

// A sample of an IDR frame and one of a P frame, with 4-byte lengths.
const std::string kIdrSample = u32(3) + bytes({0x06, 0x05, 0x10}) + u32(6) + bytes({0x65, 0x88, 0x80, 0x40, 0x00, 0x01});
const std::string kPSample = u32(4) + bytes({0x41, 0x9A, 0x20, 0x10});

std::string hex(const std::string& b) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (unsigned char c : b) s += std::string{d[c >> 4], d[c & 15]};
    return s;
}

TrackLayout avcTrack() {
    TrackLayout t;
    t.entries = {visualEntry("avc1", 320, 240, avcC({kSps}, {kPps}))};
    t.samples = {kIdrSample, kPSample, kPSample, kPSample};
    return t;
}

TrackLayout aacTrack(std::uint32_t id = 2) {
    TrackLayout t;
    t.id = id;
    t.handler = "soun";
    t.handlerName = "SoundHandler";
    t.width16 = t.height16 = 0;
    t.timeScale = 48000;
    t.duration = 96000;
    t.entries = {audioEntry("mp4a", 2, 16, 48000, esds(0x40))};
    t.samples = {std::string(20, 'a'), std::string(30, 'b')};
    return t;
}

TrackLayout dataTrack(const std::string& handler, const std::string& format, std::vector<std::string> samples) {
    TrackLayout t;
    t.id = 3;
    t.handler = handler;
    t.handlerName = "Data";
    t.width16 = t.height16 = 0;
    t.entries = {otherEntry(format, u32(0) + u32(25))};
    t.samples = std::move(samples);
    return t;
}

FileLayout fileWith(std::vector<TrackLayout> tracks) {
    FileLayout f;
    f.tracks = std::move(tracks);
    return f;
}

AnalysisResult analyse(const std::string& bytes) {
    testsupport::TempDir dir;
    const std::string path = dir.file("in.mp4");
    EXPECT_TRUE(testsupport::writeFile(path, bytes));
    AnalysisResult result;
    parseMp4File(path, result);
    return result;
}

AnalysisResult analyse(const FileLayout& layout) { return analyse(buildFile(layout)); }

}  // namespace

TEST(ParseMp4File, FileTypeAndMovieFacts) {
    FileLayout layout = fileWith({avcTrack()});
    layout.ftypBox = ftyp("mp42", 7, {"isom", u32(0), "mp42", u32(0)});
    for (bool moovFirst : {true, false}) {
        layout.moovFirst = moovFirst;
        const AnalysisResult r = analyse(layout);
        EXPECT_EQ(r.majorBrand, "mp42");
        EXPECT_EQ(r.minorVersion, 7);
        EXPECT_EQ(r.compatibleBrands, (std::vector<std::string>{"isom", "mp42"}));
        EXPECT_EQ(r.moovBeforeMdat, moovFirst ? 1 : 0);
        EXPECT_EQ(r.timeScale, 1000u);
        EXPECT_EQ(r.durationMs, 2000u);
        EXPECT_EQ(r.hasFragments, 0);
        EXPECT_EQ(r.trackCount, 1);
        EXPECT_EQ(r.tracks.size(), 1u);
    }
    layout.extraMoov = box("mvex", fullBox("trex", 0, 0, zeros(20)));
    EXPECT_EQ(analyse(layout).hasFragments, 1);
}

TEST(ParseMp4File, SkippedBrandCountsTracksWithoutAnalysingThem) {
    FileLayout layout = fileWith({avcTrack(), aacTrack()});
    layout.ftypBox = ftyp("MGSV", 0, {"isom"});
    const AnalysisResult r = analyse(layout);
    EXPECT_EQ(r.trackCount, 2);
    EXPECT_TRUE(r.tracks.empty());
    EXPECT_FALSE(r.nalStats[5].seen());
}

TEST(ParseMp4File, TrackRecordsStopAtTheirBound) {
    // A movie box of thousands of empty 'trak' boxes behind the real tracks.
    const std::size_t empty = AnalysisResult::kMaxTracks + 1000;
    FileLayout layout = fileWith({avcTrack(), aacTrack()});
    for (std::size_t i = 0; i < empty; ++i) layout.extraMoov += box("trak", "");
    const AnalysisResult r = analyse(layout);
    EXPECT_EQ(r.trackCount, std::int32_t(2 + empty)) << "the movie's own count";
    ASSERT_EQ(r.tracks.size(), AnalysisResult::kMaxTracks);
    EXPECT_EQ(r.tracks[0].sampleDescCoding, "H.264");
    EXPECT_EQ(r.tracks[1].sampleDescCoding, "MPEG-4 Audio");
}

TEST(ParseMp4File, MissingInputOrMovie) {
    testsupport::TempDir dir;
    AnalysisResult r;
    testing::internal::CaptureStdout();
    parseMp4File(dir.file("none.mp4"), r);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: cannot open input file " + dir.file("none.mp4") + "\n");
    EXPECT_TRUE(r.majorBrand.empty());

    const AnalysisResult noMovie = analyse(ftyp("isom", 1, {"isom"}) + box("mdat", "data"));
    EXPECT_EQ(noMovie.majorBrand, "isom");
    EXPECT_EQ(noMovie.trackCount, 0);
    EXPECT_TRUE(noMovie.tracks.empty());
    EXPECT_TRUE(analyse(std::string("not a movie at all")).majorBrand.empty());
}

TEST(ParseMp4File, AvcTrack) {
    const AnalysisResult r = analyse(fileWith({avcTrack()}));
    ASSERT_EQ(r.tracks.size(), 1u);
    const TrackRecord& t = r.tracks[0];
    EXPECT_EQ(t.id, 1);
    EXPECT_EQ(t.typeIndex, 2);
    EXPECT_EQ(t.typeName, "Video");
    EXPECT_EQ(t.handlerType, 0x76696465u);
    EXPECT_EQ(t.trackName, "VideoHandler");
    EXPECT_EQ(t.sampleCount, 4u);
    EXPECT_EQ(t.mediaTimeScale, 25u);
    EXPECT_EQ(t.mediaDuration, 4u);
    EXPECT_EQ(t.durationMs, 160u);
    EXPECT_FLOAT_EQ(t.trackWidth, 320);
    EXPECT_FLOAT_EQ(t.trackHeight, 240);
    EXPECT_FLOAT_EQ(t.frameRate, 25);
    EXPECT_EQ(t.sampleDescType, 3);
    EXPECT_EQ(t.sampleDescFormat, 0x61766331u);
    EXPECT_EQ(t.sampleDescCoding, "H.264");
    EXPECT_EQ(t.sampleWidth, 320);
    EXPECT_EQ(t.sampleHeight, 240);
    EXPECT_EQ(t.sampleDepth, 24);
    EXPECT_EQ(t.sampleRate, 0u);
    EXPECT_EQ(t.nalLengthSize, 4);
    EXPECT_EQ(t.videoHeaderHex, "00000001" + hex(kSps) + "00000001" + hex(kPps));
    EXPECT_EQ(t.codecString, "avc1.64001F");
    EXPECT_EQ(t.minSize, 16777215);
    EXPECT_EQ(t.maxSize, 0);
    EXPECT_TRUE(t.sampleSignatures.empty());
    EXPECT_EQ(t.nalList.size(), 5u);
    EXPECT_EQ(r.nalStats[5].headerWords, std::vector<std::uint32_t>{0x658880});
    EXPECT_EQ(r.nalStats[5].minSize, 6u);
    EXPECT_EQ(r.nalStats[1].headerWords, std::vector<std::uint32_t>{0x419A});
    EXPECT_EQ(r.nalStats[6].maxSize, 3u);
}

TEST(ParseMp4File, BoxFormsGiveTheSameAnalysis) {
    struct Case {
        const char* name;
        void (*change)(FileLayout&);
    };
    const Case cases[] = {
        {"plain", [](FileLayout&) {}},
        {"version 1 headers", [](FileLayout& f) { f.movieVersion = 1; f.tracks[0].headerVersion = 1; }},
        {"co64", [](FileLayout& f) { f.tracks[0].wideOffsets = true; }},
        {"stz2 8-bit", [](FileLayout& f) { f.tracks[0].compactSizeBits = 8; }},
        {"stz2 16-bit", [](FileLayout& f) { f.tracks[0].compactSizeBits = 16; }},
        {"64-bit mdat", [](FileLayout& f) { f.wideMdat = true; }},
        {"mdat to the end", [](FileLayout& f) { f.mdatToEnd = true; }},
        {"moov first", [](FileLayout& f) { f.moovFirst = true; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileLayout layout = fileWith({avcTrack()});
        c.change(layout);
        const AnalysisResult r = analyse(layout);
        ASSERT_EQ(r.tracks.size(), 1u);
        EXPECT_EQ(r.durationMs, 2000u);
        EXPECT_EQ(r.tracks[0].id, 1);
        EXPECT_EQ(r.tracks[0].mediaTimeScale, 25u);
        EXPECT_EQ(r.tracks[0].sampleCount, 4u);
        EXPECT_FLOAT_EQ(r.tracks[0].trackWidth, 320);
        EXPECT_EQ(r.tracks[0].nalList.size(), 5u);
        EXPECT_EQ(r.nalStats[1].maxSize, 4u);
    }
}

TEST(ParseMp4File, VersionOneHeadersCarry64BitValues) {
    FileLayout layout = fileWith({avcTrack()});
    layout.movieVersion = 1;
    layout.movieTimeScale = 1000;
    layout.movieDuration = 5000000000ull;  // past 32 bits
    layout.tracks[0].headerVersion = 1;
    layout.tracks[0].timeScale = 90000;
    layout.tracks[0].duration = 0x123456789ull;
    const AnalysisResult r = analyse(layout);
    EXPECT_EQ(r.durationMs, 0xFFFFFFFFu);  // saturated, not wrapped
    ASSERT_EQ(r.tracks.size(), 1u);
    EXPECT_EQ(r.tracks[0].mediaDuration, 0x123456789ull);
    EXPECT_EQ(r.tracks[0].durationMs, static_cast<std::uint32_t>(0x123456789ull * 1000 / 90000));
}

TEST(ParseMp4File, SeveralDescriptionsAppendTheirParameterSets) {
    TrackLayout t = avcTrack();
    t.entries = {visualEntry("avc1", 320, 240, avcC({kSps, kSps2}, {kPps})), visualEntry("avc3", 640, 480, avcC({kSps2}, {kPps}, 2))};
    t.samples = {u16(2) + bytes({0x09, 0x10})};
    const AnalysisResult r = analyse(fileWith({t}));
    const TrackRecord& rec = r.tracks.at(0);
    EXPECT_EQ(rec.videoHeaderHex, "00000001" + hex(kSps) + "00000001" + hex(kSps2) + "00000001" + hex(kPps) + "00000001" +
                                      hex(kSps2) + "00000001" + hex(kPps));
    // Numbers of the last description stay, the length size included.
    EXPECT_EQ(rec.sampleWidth, 640);
    EXPECT_EQ(rec.nalLengthSize, 2);
    EXPECT_EQ(rec.sampleDescFormat, 0x61766333u);
    EXPECT_EQ(r.nalStats[9].headerWords, std::vector<std::uint32_t>{0x0910});
}

TEST(ParseMp4File, HevcTrack) {
    const std::string vps = bytes({0x40, 0x01, 0x0C, 0x01}), sps = bytes({0x42, 0x01, 0x01}), pps1 = bytes({0x44, 0x01, 0xC1}),
                      pps2 = bytes({0x44, 0x01, 0xC2}), sei = bytes({0x4E, 0x01, 0x05, 0x1A});
    TrackLayout t = avcTrack();
    t.entries = {visualEntry("hvc1", 320, 240, hvcC({{32, {vps}}, {33, {sps}}, {34, {pps1, pps2}}, {39, {sei}}}))};
    t.samples = {u32(4) + sei + u32(3) + bytes({0x26, 0x01, 0xAF}), u32(3) + bytes({0x02, 0x01, 0xD0})};
    const AnalysisResult r = analyse(fileWith({t}));
    const TrackRecord& rec = r.tracks.at(0);
    EXPECT_EQ(rec.sampleDescType, 4);
    EXPECT_EQ(rec.sampleDescCoding, "H.265");
    EXPECT_EQ(rec.nalLengthSize, 4);
    EXPECT_EQ(rec.videoHeaderHex, "00000001" + hex(vps) + "00000001" + hex(sps) + "00000001" + hex(pps1) + "00000001" + hex(pps2) +
                                      "00000001" + hex(sei));
    EXPECT_EQ(rec.codecString.rfind("hvc1.1.6.L93", 0), 0u);
    EXPECT_EQ(r.nalStats[39].headerWords, std::vector<std::uint32_t>{0x4E0105});
    EXPECT_EQ(r.nalStats[19].headerWords, std::vector<std::uint32_t>{0x2601});
    EXPECT_EQ(r.nalStats[1].headerWords, std::vector<std::uint32_t>{0x0201});
}

TEST(ParseMp4File, AacTracksInMp4AndQuickTimeForms) {
    TrackLayout wave = aacTrack();
    wave.entries = {audioEntry("mp4a", 2, 16, 48000, box("wave", box("frma", "mp4a") + esds(0x40) + u32(8) + u32(0)), 1)};
    wave.quickTimeHandlers = true;
    for (const TrackLayout& audio : {aacTrack(), wave}) {
        // Audio first, as some cameras write it.
        TrackLayout video = avcTrack();
        video.id = 5;
        const AnalysisResult r = analyse(fileWith({audio, video}));
        ASSERT_EQ(r.tracks.size(), 2u);
        const TrackRecord& a = r.tracks[0];
        EXPECT_EQ(a.typeName, "Audio");
        EXPECT_EQ(a.trackName, "SoundHandler");
        EXPECT_EQ(a.sampleDescType, 1);
        EXPECT_EQ(a.sampleDescCoding, "MPEG-4 Audio");
        EXPECT_EQ(a.objectTypeIndication, 0x40);
        EXPECT_EQ(a.sampleRate, 48000u);
        EXPECT_EQ(a.channelCount, 2);
        EXPECT_EQ(a.sampleSize, 16);
        EXPECT_EQ(a.sampleWidth, 0);
        EXPECT_FLOAT_EQ(a.frameRate, 0);
        // The decoder configuration's AAC LC (profile 1), 48 kHz, stereo.
        EXPECT_EQ(a.audioHeaderHex, "fff94c8002fffc");
        EXPECT_EQ(a.minSize, 0);
        EXPECT_EQ(a.maxSize, 16777215);
        EXPECT_EQ(a.pcmSampleSize, 0);
        EXPECT_EQ(a.pcmSamplesPerChunk, 2);
        EXPECT_TRUE(a.nalList.empty());
        EXPECT_TRUE(a.sampleSignatures.empty());
        EXPECT_EQ(r.tracks[1].id, 5);
        EXPECT_EQ(r.tracks[1].sampleDescCoding, "H.264");
    }
}

TEST(ParseMp4File, PcmTracksOfEverySoundVersion) {
    for (unsigned version : {0u, 1u, 2u}) {
        SCOPED_TRACE(version);
        TrackLayout pcm = aacTrack();
        pcm.entries = {audioEntry(version == 2 ? "sowt" : "twos", 2, 16, 44100, "", version)};
        pcm.samples = std::vector<std::string>(10, std::string(4, 'p'));
        pcm.constantSize = true;
        const AnalysisResult r = analyse(fileWith({pcm}));
        const TrackRecord& a = r.tracks.at(0);
        EXPECT_EQ(a.pcmSampleSize, 4);
        EXPECT_EQ(a.pcmSamplesPerChunk, 10);
        EXPECT_EQ(a.sampleRate, 44100u);
        EXPECT_EQ(a.channelCount, 2);
        EXPECT_EQ(a.sampleSize, 16);
        EXPECT_EQ(a.sampleDescType, 0);
        EXPECT_EQ(a.sampleDescCoding, version == 2 ? "sowt" : "twos");
        EXPECT_EQ(a.minSize, 16777215);
        EXPECT_EQ(a.maxSize, 0);
        EXPECT_EQ(a.audioHeaderHex, "");
    }
}

TEST(ParseMp4File, SignaturesOfTracksThatAreNeitherAudioNorVideo) {
    struct Case {
        const char* name;
        TrackLayout track;
        const char* typeName;
        std::vector<SampleSignature> signatures;
    };
    const Case cases[] = {
        {"timecode of identical samples",
         dataTrack("tmcd", "tmcd", std::vector<std::string>(50, u32(0x0001E240))),
         "Unknown (tmcd)",
         {{4, 0x0001E240}}},
        {"metadata, a short sample padded with zeros",
         dataTrack("meta", "gpmd", {u32(7) + "abcd", u32(7) + "abcd", u32(9) + "xy", bytes({0xAB})}),
         "Unknown (meta)",
         {{8, 7}, {6, 9}, {1, 0xAB000000}}},
        {"handler with unprintable bytes", dataTrack(bytes({0x61, 0x00, 0xFF, 0x7F}), "abcd", {"1234"}), "Unknown (a...)",
         {{4, 0x31323334}}},
        {"text", dataTrack("text", "text", {"hello"}), "Text", {{5, 0x68656C6C}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AnalysisResult r = analyse(fileWith({c.track}));
        ASSERT_EQ(r.tracks.size(), 1u);
        EXPECT_EQ(r.tracks[0].typeName, c.typeName);
        EXPECT_EQ(r.tracks[0].sampleSignatures, c.signatures);
    }
    const AnalysisResult gpmd = analyse(fileWith({cases[1].track}));
    EXPECT_EQ(gpmd.tracks[0].sampleDescCoding, "gpmd");
    EXPECT_EQ(gpmd.tracks[0].sampleRate, 0u);
    EXPECT_EQ(gpmd.tracks[0].sampleWidth, 0);
}

TEST(ParseMp4File, SampleSignaturesStopAtTheirBound) {
    // A metadata track whose every sample starts with a word of its own, then a time code.
    std::vector<std::string> samples;
    for (std::uint32_t i = 0; i < AnalysisResult::kMaxSampleSignatures + 100; ++i) samples.push_back(u32(i));
    TrackLayout timecode = dataTrack("tmcd", "tmcd", {u32(0x0001E240)});
    timecode.id = 4;
    const AnalysisResult r = analyse(fileWith({dataTrack("meta", "gpmd", samples), timecode}));
    ASSERT_EQ(r.tracks.size(), 2u);
    const std::vector<SampleSignature>& kept = r.tracks[0].sampleSignatures;
    ASSERT_EQ(kept.size(), AnalysisResult::kMaxSampleSignatures);
    EXPECT_EQ(kept.front(), (SampleSignature{4, 0}));
    EXPECT_EQ(kept.back(), (SampleSignature{4, std::uint32_t(AnalysisResult::kMaxSampleSignatures - 1)}));
    EXPECT_TRUE(r.tracks[1].sampleSignatures.empty()) << "the bound holds for the analysis, not per track";
}

TEST(ParseMp4File, NoDivisionByZeroTimeScalesOrDurations) {
    struct Case {
        const char* name;
        std::uint32_t movieScale, trackScale;
        std::uint64_t trackDuration;
        std::uint32_t movieDurationMs, trackDurationMs;
    };
    const Case cases[] = {
        {"no time scales", 0, 0, 100, 0, 0},
        {"track without duration", 1000, 25, 0, 2000, 0},
        {"movie without time scale, track without duration", 0, 25, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileLayout layout = fileWith({avcTrack()});  // four samples
        layout.movieTimeScale = c.movieScale;
        layout.tracks[0].timeScale = c.trackScale;
        layout.tracks[0].duration = c.trackDuration;
        const AnalysisResult r = analyse(layout);
        ASSERT_EQ(r.tracks.size(), 1u);
        EXPECT_EQ(r.durationMs, c.movieDurationMs);
        EXPECT_EQ(r.tracks[0].sampleCount, 4u);
        EXPECT_EQ(r.tracks[0].frameRate, 0.0f);
        EXPECT_EQ(r.tracks[0].durationMs, c.trackDurationMs);
    }
}

TEST(ParseMp4File, EnhancedAc3DataRate) {
    TrackLayout ec3 = aacTrack();
    ec3.entries = {audioEntry("ec-3", 6, 16, 48000, box("dec3", u16((448u << 3) | 0) + bytes({0x20, 0x0F, 0x00})))};
    const AnalysisResult r = analyse(fileWith({ec3}));
    EXPECT_EQ(r.tracks.at(0).dec3DataRate, 448u);
    EXPECT_EQ(r.tracks[0].sampleDescCoding, "ec-3");
    EXPECT_EQ(r.tracks[0].audioHeaderHex, "");
}

TEST(ParseMp4File, QuickTimeHandlerNamesAndTheSecondHandler) {
    TrackLayout t = avcTrack();
    t.quickTimeHandlers = true;
    t.handlerName = "Core Media Video";
    const AnalysisResult r = analyse(fileWith({t}));
    EXPECT_EQ(r.tracks.at(0).trackName, "Core Media Video");
    EXPECT_EQ(r.tracks[0].typeName, "Video");  // the media handler, not the data handler 'alis'
}

TEST(ParseMp4File, SamplesOutsideTheFileEndTheWalk) {
    // The media data is cut: the last sample runs past the end, the one after starts past it.
    TrackLayout t = dataTrack("tmcd", "tmcd", {"aaaa", "bbbbbbbb", "cccc"});
    FileLayout layout = fileWith({t});
    layout.moovFirst = true;  // media data last, so cutting the file cuts the samples
    std::string file = buildFile(layout);
    file.resize(file.size() - 4 - 6);  // "cccc" gone, "bbbbbbbb" cut to 2 bytes
    const AnalysisResult r = analyse(file);
    EXPECT_EQ(r.tracks.at(0).sampleSignatures, (std::vector<SampleSignature>{{4, 0x61616161}, {2, 0x62620000}}));
}

TEST(ParseMp4File, TablesPastTheFileEndTheTrackWalk) {
    // The media data comes first, right after the file-type box, so hand-written offsets are known.
    const std::uint64_t media = FileLayout().ftypBox.size() + 8;
    using Signatures = std::vector<SampleSignature>;
    struct Case {
        const char* name;
        std::string tables;
        Signatures (*expected)(std::int32_t bytesFrom2ndSample, std::int32_t bytesFrom1stSample);
    };
    std::vector<std::uint64_t> repeated;  // two chunk offsets, each 100000 times
    for (int i = 0; i < 100000; ++i) repeated.insert(repeated.end(), {media, media + 4});
    const Case cases[] = {
        {"gigabyte size cut at the bytes left", stsz(0, {4, 0xFFFFFFF0u, 4}, 3) + stsc({{1, 3, 1}}) + chunkOffsets({media}, false),
         [](std::int32_t rest, std::int32_t) { return Signatures{{4, 0x61616161}, {rest, 0x62626262}}; }},
        {"offset past the end", stsz(0, {4, 4}, 2) + stsc({{1, 1, 1}}) + chunkOffsets({media, 1u << 30}, true),
         [](std::int32_t, std::int32_t) { return Signatures{{4, 0x61616161}}; }},
        // Each sample runs to the end of the file: the first takes all the bytes a track can
        // have, and without that bound the file would be read 200000 times.
        {"chunks read over and over", stsz(0xFFFFFFFFu, {}, 200000) + stsc({{1, 1, 1}}) + chunkOffsets(repeated, false),
         [](std::int32_t, std::int32_t all) { return Signatures{{all, 0x61616161}}; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TrackLayout t = dataTrack("meta", "gpmd", {"aaaa", "bbbbbbbb"});
        t.sampleTables = c.tables;
        const std::string file = buildFile(fileWith({t}));
        const AnalysisResult r = analyse(file);
        ASSERT_EQ(r.tracks.size(), 1u);
        const auto left = [&](std::uint64_t from) { return static_cast<std::int32_t>(file.size() - from); };
        EXPECT_EQ(r.tracks[0].sampleSignatures, c.expected(left(media + 4), left(media)));
    }
}

TEST(AdtsHeader, BytesFromRateChannelsAndObjectType) {
    struct Case {
        std::uint32_t rate;
        std::uint16_t channels, bits;
        std::uint8_t objectType;
        std::vector<std::uint8_t> header;
    };
    const Case cases[] = {
        {48000, 2, 16, 0x40, {0xFF, 0xF9, 0x0C, 0x80, 0x02, 0xFF, 0xFC}},
        {44100, 1, 16, 0x40, {0xFF, 0xF9, 0x10, 0x40, 0x02, 0xFF, 0xFC}},
        {96000, 6, 16, 0x40, {0xFF, 0xF9, 0x01, 0x80, 0x02, 0xFF, 0xFC}},
        // Not in the table: the escape index 15.
        {47999, 2, 16, 0x40, {0xFF, 0xF9, 0x3C, 0x80, 0x02, 0xFF, 0xFC}},
        {8000, 2, 2048, 0x40, {0xFF, 0xF9, 0x2C, 0x81, 0x00, 0xFF, 0xFE}},
    };
    for (const Case& c : cases) {
        TrackRecord t;
        t.sampleRate = c.rate;
        t.channelCount = c.channels;
        t.sampleSize = c.bits;
        t.objectTypeIndication = c.objectType;
        EXPECT_EQ(adtsHeaderFor(t), c.header) << c.rate;
    }
}
