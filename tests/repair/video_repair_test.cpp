#include "repair/video_repair.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "media/work_file_names.h"
#include "mp4/byte_order.h"
#include "mp4/fourcc_text.h"
#include "mp4/nal_header.h"
#include "reference/document_writer.h"
#include "repair/qt_ima_decoder.h"
#include "repair/reference_reader.h"
#include "repair/repair_run.h"
#include "tests/repair/packet_bytes.h"
#include "tests/support/special_files.h"
#include "tests/support/test_files.h"
#include "tests/repair/nal_entry.h"

namespace {

using packetbytes::Bytes;
using testsupport::TempDir;

const std::string kVideoHeaderHex = "0000000167640028ACD940780227E584000003000400000300C83C60C658";
const std::string kAudioHeaderHex = "1190";

struct RefOptions {
    std::string preset;
    std::string audioCodec = "aac";
    std::uint32_t audioFormat = mp4::fourcc("mp4a");
    bool audio = true;
    bool noTracks = false;
    bool noVideo = false;  // the audio track alone
    std::string videoHeader = kVideoHeaderHex;
    std::string coding = "H.264";
    std::int32_t pcmSampleSize = 2;
    std::int32_t pcmSamplesPerChunk = 500;
    std::uint32_t audioMinSize = kUnseenMinSize;  // the smallest sound sample the reference showed
};

// A reference description as Ordwick writes it, for an H.264 camera with type-1 slices
// starting 41 9A and type-5 slices starting 65 88 80.
std::string writeReference(const std::string& path, const RefOptions& o = {}) {
    AnalysisResult r;
    MediaInfo m;
    m.videoCodecName = "h264";
    m.fpsNum = 25;
    m.fpsDen = 1;
    m.audioCodecName = o.audio ? o.audioCodec : "";
    m.bitsPerSample = 24;
    m.channels = 2;
    m.sampleRate = 48000;
    if (!o.noTracks && !o.noVideo) {
        TrackRecord v;
        v.typeName = "Video";
        v.typeIndex = 2;
        v.sampleDescFormat = mp4::fourcc("avc1");
        v.sampleDescCoding = o.coding;
        v.sampleWidth = 320;
        v.sampleHeight = 240;
        v.videoHeaderHex = o.videoHeader;
        r.tracks.push_back(v);
    }
    if (!o.noTracks) {
        if (o.audio) {
            TrackRecord a;
            a.typeName = "Audio";
            a.typeIndex = 1;
            a.sampleDescFormat = o.audioFormat;
            a.minSize = static_cast<std::int32_t>(o.audioMinSize);
            a.audioHeaderHex = kAudioHeaderHex;
            a.pcmSampleSize = o.pcmSampleSize;
            a.pcmSamplesPerChunk = o.pcmSamplesPerChunk;
            r.tracks.push_back(a);
        }
    }
    r.trackCount = static_cast<std::int32_t>(r.tracks.size());
    r.nalStats[1] = nalEntry(100, 60000, 1, {0x419A});
    r.nalStats[5] = nalEntry(1000, 60000, 5, {0x658880});
    EXPECT_TRUE(writeVideoPreset(path, "Unknown", o.preset, r, m));
    return path;
}

// Media data of a damaged recording: ftyp, an mdat header, then packets and audio bytes.
class Recording {
public:
    explicit Recording(bool hevc = false) : hevc_(hevc) {
        bytes_.be32(24).text("ftypisom").be32(0x200).text("isommp41");
        bytes_.be32(0).text("mdat");
    }
    Recording& aud() {
        bytes_.be32(2).raw({0x09, 0x10});
        expected_ += std::string("\0\0\0\1\x09\x10", 6);
        return *this;
    }
    // A slice of `length` payload bytes starting with `header` and then a pattern without zeros.
    Recording& slice(std::vector<std::uint8_t> header, std::uint32_t length, bool expected = true) {
        Bytes payload;
        for (std::uint8_t b : header) payload.raw({b});
        for (std::size_t i = header.size(); i < length; ++i) payload.raw({std::uint8_t(1 + (i * 7) % 250)});
        bytes_.be32(length);
        const auto& v = payload.vec();
        bytes_.raw({});
        for (std::uint8_t b : v) bytes_.raw({b});
        if (expected) {
            expected_ += std::string("\0\0\0\1", 4) + std::string(v.begin(), v.end());
            if (mp4::isPictureType(mp4::nalTypeOf(header[0], hevc_), hevc_)) pictureEnd_ = expected_.size();
        }
        return *this;
    }
    // Audio bytes between packets: an ADTS-like start and then a pattern that matches nothing.
    Recording& audio(std::size_t length) {
        Bytes run;
        run.raw({0xFF, 0xF9});
        run.padTo(length, 0xA5);
        for (std::uint8_t b : run.vec()) bytes_.raw({b});
        audio_ += std::string(run.vec().begin(), run.vec().end());
        return *this;
    }
    // A slice that the scan refuses: its bytes join the audio run that follows.
    Recording& refusedSlice(std::vector<std::uint8_t> header, std::uint32_t length) {
        const std::size_t before = bytes_.vec().size();
        slice(std::move(header), length, false);
        audio_.append(bytes_.vec().begin() + static_cast<std::ptrdiff_t>(before), bytes_.vec().end());
        return *this;
    }
    Recording& raw(const Bytes& b) {
        for (std::uint8_t x : b.vec()) bytes_.raw({x});
        return *this;
    }
    std::string bytes() const { return std::string(bytes_.vec().begin(), bytes_.vec().end()); }
    // A picture's slice is among the units the scan is to take.
    bool holdsPicture() const { return pictureEnd_ > 0; }
    std::size_t size() const { return bytes_.vec().size(); }
    // The video output: the reference's parameter sets, then every packet behind a start code,
    // up to the last picture (units behind it would open an access unit without a picture).
    std::string expectedVideo() const;
    const std::string& expectedAudio() const { return audio_; }

private:
    bool hevc_;
    Bytes bytes_;
    std::string expected_;
    std::size_t pictureEnd_ = 0;
    std::string audio_;
};

std::string fromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string Recording::expectedVideo() const { return fromHex(kVideoHeaderHex) + expected_.substr(0, pictureEnd_); }

// Where two byte strings part (npos when equal), so that failures print a number, not bytes.
std::size_t firstDifference(const std::string& a, const std::string& b) {
    const auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (at.first == a.end() && at.second == b.end()) return std::string::npos;
    return static_cast<std::size_t>(at.first - a.begin());
}

const std::vector<std::uint8_t> kSlice1{0x41, 0x9A};
const std::vector<std::uint8_t> kSlice5{0x65, 0x88, 0x80};

class VideoRepairTest : public ::testing::Test {
protected:
    int repair(const std::string& recording, const RefOptions& ref = {}, std::int64_t chunk = 0) {
        if (chunk > 0) engine.setChunkBytes(chunk);
        return repairBy(engine, recording, ref);
    }
    int repairBy(videoRepair& by, const std::string& recording, const RefOptions& ref = {}) {
        const std::string source = dir.file("damaged.mp4");
        EXPECT_TRUE(testsupport::writeFile(source, recording));
        writeReference(dir.file("ref.xml"), ref);
        return by.startFixer(QString::fromStdString(source), QString::fromStdString(dir.file("ref.xml")),
                             QString::fromStdString(dir.path() + "/"));
    }
    std::string video() const { return testsupport::readFile(dir.file(kVideoStreamFileName)); }
    std::string audioRaw() const { return testsupport::readFile(dir.file(kRawAudioFileName)); }

    TempDir dir;
    videoRepair engine;
};

TEST_F(VideoRepairTest, DelimitersAndSlicesBecomeAnAnnexBStream) {
    Recording rec;
    rec.aud().slice(kSlice5, 1500).aud().slice(kSlice1, 300).aud().slice(kSlice1, 250);
    QStringList phases;
    QObject::connect(&engine, &videoRepair::statusFix, [&](const QString& s) { phases << s; });
    ASSERT_EQ(repair(rec.bytes()), videoRepair::kFinished);
    EXPECT_EQ(firstDifference(video(), rec.expectedVideo()), std::string::npos);
    EXPECT_EQ(audioRaw(), fromHex(kAudioHeaderHex)) << "no junk between packets, only the header";
    EXPECT_EQ(phases, (QStringList{"Repair started", "Scan...", "Video Repair", "Finilizing process..."}));
    EXPECT_TRUE(engine.isAac);
    EXPECT_FLOAT_EQ(engine.fps_num, 25);
    EXPECT_EQ(engine.videoOutputPath.toStdString(), dir.file(kVideoStreamFileName));
    EXPECT_EQ(engine.audioOutputPath.toStdString(), dir.file(kRawAudioFileName));
}

TEST_F(VideoRepairTest, AudioBetweenPacketsAndAtTheEndIsKept) {
    Recording rec;
    rec.aud().slice(kSlice5, 1500).audio(700).aud().slice(kSlice1, 300).audio(333).slice(kSlice1, 280).audio(91);
    ASSERT_EQ(repair(rec.bytes()), videoRepair::kFinished);
    EXPECT_EQ(firstDifference(video(), rec.expectedVideo()), std::string::npos);
    // The last run has no packet after it: it is handed over when the data ends.
    EXPECT_EQ(firstDifference(audioRaw(), fromHex(kAudioHeaderHex) + rec.expectedAudio()), std::string::npos);
}

// Sound, then bytes that pass for a delimiter, then a little junk, then a picture. The delimiter
// was junk (junk followed it), so its bytes count with the run around it: the run before the
// picture is the whole of it, not the little behind the false unit. Measured from the false unit
// on, a run below a PCM chunk is dropped whole under a camera that pairs chunks with pictures,
// the sound before it with it; a run below the smallest sound sample refuses the pictures behind.
TEST_F(VideoRepairTest, AUnitThatJunkFollowsGivesItsBytesBackToTheRun) {
    struct Case {
        const char* name;
        RefOptions ref;
        std::size_t sound;  // the run before the false unit
        std::size_t junk;   // the run behind it
        // A box between the false unit and the junk: the run before it is handed there, and the
        // false unit's bytes, which stood in that run, are dropped, never put in front of the next.
        bool boxBehind = false;
    };
    RefOptions pairedPcm;
    pairedPcm.preset = "sony a7";
    pairedPcm.audioCodec = "pcm_s16le";
    pairedPcm.audioFormat = mp4::fourcc("sowt");  // chunks of 500 two-byte samples
    RefOptions aacWithSmallestSample;
    aacWithSmallestSample.audioMinSize = 200;
    // 1000 + 6 + 302 bytes are whole sample frames (of 24-bit stereo) around the chunk: sound, as
    // it would be without the false unit.
    for (const Case& c : {Case{"paired PCM", pairedPcm, 1000, 302}, Case{"AAC", aacWithSmallestSample, 800, 50},
                          Case{"AAC, a box behind the false unit", RefOptions{}, 800, 50, true}}) {
        SCOPED_TRACE(c.name);
        const Bytes falseDelimiter = Bytes().be32(2).raw({0x09, 0x10});
        Recording rec;
        rec.aud().slice(kSlice1, 300).audio(c.sound).raw(falseDelimiter);
        if (c.boxBehind) rec.raw(Bytes().be32(16).text("free").fill(8, 0x33));
        rec.audio(c.junk).aud().slice(kSlice1, 300);
        ASSERT_EQ(repair(rec.bytes(), c.ref), videoRepair::kFinished);
        EXPECT_EQ(firstDifference(video(), rec.expectedVideo()), std::string::npos) << "both pictures, one delimiter each";
        const std::string delimiterBytes = c.boxBehind ? "" : std::string(falseDelimiter.vec().begin(), falseDelimiter.vec().end());
        const std::string run =
            rec.expectedAudio().substr(0, c.sound) + delimiterBytes + rec.expectedAudio().substr(c.sound);
        const bool pcm = c.ref.audioCodec != "aac";
        const std::string audio = pcm ? testsupport::readFile(dir.file(kWavAudioFileName)).substr(44) : audioRaw();
        EXPECT_EQ(firstDifference(audio, (pcm ? "" : fromHex(kAudioHeaderHex)) + run), std::string::npos);
    }
}

// Under a camera that pairs PCM chunks with pictures, a run below a chunk is no sound: dropped
// in front of a picture, and in front of the delimiter that leads one, even where its length
// (600 bytes, whole sample frames and over half a chunk) would pass for sound elsewhere.
TEST_F(VideoRepairTest, PairedPcmDropsARunBelowAChunkBeforeADelimiterLedPicture) {
    RefOptions pairedPcm;
    pairedPcm.preset = "sony a7";
    pairedPcm.audioCodec = "pcm_s16le";
    pairedPcm.audioFormat = mp4::fourcc("sowt");  // chunks of 1000 bytes
    Recording rec;
    rec.aud().slice(kSlice1, 300).audio(1000).aud().slice(kSlice1, 300);
    Recording shortRun;
    shortRun.aud().slice(kSlice1, 300).audio(600).aud().slice(kSlice1, 300);
    for (const Recording* r : {&rec, &shortRun}) {
        ASSERT_EQ(repair(r->bytes(), pairedPcm), videoRepair::kFinished);
        EXPECT_EQ(firstDifference(video(), r->expectedVideo()), std::string::npos);
        const std::string wav = testsupport::readFile(dir.file(kWavAudioFileName));
        ASSERT_GE(wav.size(), 44u);
        EXPECT_EQ(wav.substr(44), r == &rec ? r->expectedAudio() : std::string()) << "run of " << r->expectedAudio().size();
    }
}

TEST_F(VideoRepairTest, OutputsDoNotDependOnTheChunkSize) {
    Recording rec;
    // Slices with 00 00 00 05 near their start need the look-ahead: confirmed by a delimiter or
    // slice after them, refused before audio; with small chunks it has to read past the buffer.
    const std::vector<std::uint8_t> unconfirmed{0x41, 0x9A, 0x00, 0x00, 0x00, 0x05};
    for (int i = 0; i < 12; ++i) {
        rec.aud().slice(i % 4 == 0 ? kSlice5 : kSlice1, i % 4 == 0 ? 3001 : 211 + 37 * i).audio(150 + 13 * i);
        if (i % 5 == 2) rec.raw(Bytes().be32(16).text("free").fill(8, 0x33));
        if (i % 3 == 1) rec.aud().slice(unconfirmed, 400 + i);
        // Right after a taken slice (no junk before it, so no classification replaces the mark).
        if (i % 4 == 3) rec.aud().slice(kSlice1, 222).refusedSlice(unconfirmed, 333 + i).audio(120);
    }
    rec.aud().slice(kSlice5, 300000).audio(77);  // whole in a large chunk: copied file to file
    rec.aud().slice(kSlice5, 3001);  // the last check lies far enough from the end of the file
    ASSERT_EQ(repair(rec.bytes()), videoRepair::kFinished);
    const std::string wholeVideo = video();
    const std::string wholeAudio = audioRaw();
    ASSERT_EQ(firstDifference(wholeVideo, rec.expectedVideo()), std::string::npos)
        << wholeVideo.size() << " bytes written of " << rec.expectedVideo().size();
    ASSERT_EQ(firstDifference(wholeAudio, fromHex(kAudioHeaderHex) + rec.expectedAudio()), std::string::npos);
    for (const std::int64_t chunk : {256, 257, 1001, 1499, 4099, 65537}) {
        SCOPED_TRACE(chunk);
        ASSERT_EQ(repair(rec.bytes(), {}, chunk), videoRepair::kFinished);
        EXPECT_TRUE(video() == wholeVideo);
        EXPECT_TRUE(audioRaw() == wholeAudio);
    }
}

TEST_F(VideoRepairTest, CandidateRules) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> header;
        std::uint32_t length;
        bool taken;
    };
    // Ranges after the rules for a preset without a name: type 1 32.., type 5 500.., type 7 8..200;
    // the minimum of slices is halved.
    const Case cases[] = {
        {"type 5 at half its minimum", kSlice5, 250, true},
        {"type 5 one byte shorter", kSlice5, 249, false},
        {"type 1 at half its minimum", kSlice1, 16, true},
        {"type 1 one byte shorter", kSlice1, 15, false},
        {"type 7 at its maximum", {0x67, 0x64}, 200, true},
        {"type 7 above its maximum", {0x67, 0x64}, 201, false},
        {"type 7 below its own minimum", {0x67, 0x64}, 7, false},
        {"unlisted header word", {0x41, 0x9B}, 400, false},
        {"repeated first word", {0x41, 0x9A, 0x41, 0x9A}, 400, false},
        {"forbidden bit set", {0xC1, 0x9A}, 400, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recording rec;
        rec.aud().slice(c.header, c.length, c.taken).aud();
        // A run that took no picture found no video, whatever else it took.
        ASSERT_EQ(repair(rec.bytes(), {"", "aac", mp4::fourcc("mp4a"), false}),
                  rec.holdsPicture() ? videoRepair::kFinished : videoRepair::kNoVideoFound);
        EXPECT_TRUE(video() == rec.expectedVideo());
    }
}

TEST_F(VideoRepairTest, BoxesAreSkippedOnlyBelowTheirLengthLimit) {
    Recording small;
    small.aud().raw(Bytes().be32(40).text("free").fill(32, 0x41)).slice(kSlice1, 300);
    ASSERT_EQ(repair(small.bytes()), videoRepair::kFinished);
    EXPECT_EQ(firstDifference(video(), small.expectedVideo()), std::string::npos);
    ASSERT_FALSE(engine.lastRun()->packets.tags().empty());
    EXPECT_EQ(engine.lastRun()->packets.tags()[0].tag, "AtomSpecific [free]");

    // Its bytes are junk between the delimiter and the slice: the delimiter, with no picture right
    // behind it, is not written.
    Recording huge;
    huge.raw(Bytes().be32(2).raw({0x09, 0x10}).be32(0xFFFFFF).text("free").fill(32, 0x41)).slice(kSlice1, 300);
    ASSERT_EQ(repair(huge.bytes()), videoRepair::kFinished);
    EXPECT_EQ(firstDifference(video(), huge.expectedVideo()), std::string::npos);
    EXPECT_TRUE(engine.lastRun()->packets.tags().empty()) << "its bytes join the junk run instead";
}

TEST_F(VideoRepairTest, UncompressedAudioGetsACompletedWavHeader) {
    Recording rec;
    rec.aud().slice(kSlice1, 300);
    RefOptions ref;
    ref.audioCodec = "pcm_s24le";
    ref.audioFormat = mp4::fourcc("sowt");
    ASSERT_EQ(repair(rec.bytes(), ref), videoRepair::kFinished);
    EXPECT_FALSE(engine.isAac);
    EXPECT_EQ(engine.audioOutputPath.toStdString(), dir.file(kWavAudioFileName));
    const std::string wav = testsupport::readFile(dir.file(kWavAudioFileName));
    ASSERT_EQ(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(4, 4), std::string("\x24\0\0\0", 4)) << "completed: 0 data bytes + 36";
    EXPECT_EQ(wav.substr(40, 4), std::string("\0\0\0\0", 4));
    EXPECT_EQ(static_cast<unsigned char>(wav[34]), 24u);
}

// QuickTime IMA ADPCM: the runs of whole packets around the reference's chunk, and the whole
// packets of the one the end of the data cuts, decoded in order into a PCM WAV file; the
// reference's tables count packets (the ffmpeg tool) or sample frames (QuickTime).
TEST_F(VideoRepairTest, QtImaPacketsAreDecodedIntoAPcmWav) {
    struct Case {
        const char* name;
        std::int32_t sampleSize;
        std::int32_t samplesPerChunk;
    };
    for (const Case& c : {Case{"packets", 68, 30}, Case{"sample frames", 1, 1920}}) {
        SCOPED_TRACE(c.name);
        using packetbytes::qtImaBlocks;
        const std::string chunk = qtImaBlocks(2 * 30, 10);
        const std::string longer = qtImaBlocks(2 * 40, 20);
        const std::string cut = qtImaBlocks(2 * 11, 30);
        Recording rec;
        rec.aud().slice(kSlice1, 300).raw(Bytes().text(chunk));
        rec.aud().slice(kSlice1, 300).raw(Bytes().text(qtImaBlocks(2 * 14)));  // below half a chunk
        rec.aud().slice(kSlice1, 300).raw(Bytes().text(longer));
        rec.aud().slice(kSlice1, 300).raw(Bytes().text(cut + qtImaBlocks(1).substr(0, 20)));
        RefOptions ref;
        ref.audioCodec = "adpcm_ima_qt";
        ref.audioFormat = mp4::fourcc("ima4");
        ref.pcmSampleSize = c.sampleSize;
        ref.pcmSamplesPerChunk = c.samplesPerChunk;
        ASSERT_EQ(repair(rec.bytes(), ref), videoRepair::kFinished);
        EXPECT_EQ(engine.lastRun()->audio.chunkByteCount, 2040);
        EXPECT_EQ(firstDifference(video(), rec.expectedVideo()), std::string::npos);

        EXPECT_FALSE(engine.isAac);
        EXPECT_EQ(engine.audioOutputPath.toStdString(), dir.file(kWavAudioFileName));
        EXPECT_FALSE(testsupport::fileExists(dir.file(kQtImaPacketsFileName))) << "the packets' file is removed";
        const std::string packets = chunk + longer + cut;
        QtImaDecoder decoder;
        ASSERT_TRUE(decoder.open(2, 48000));
        std::vector<std::uint8_t> pcm;
        ASSERT_TRUE(decoder.decode(reinterpret_cast<const std::uint8_t*>(packets.data()), packets.size(), pcm));
        const std::string wav = testsupport::readFile(dir.file(kWavAudioFileName));
        ASSERT_GE(wav.size(), 44u);
        EXPECT_EQ(static_cast<unsigned char>(wav[34]), 16u) << "16-bit PCM";
        EXPECT_EQ(mp4::le32(wav.data() + 40), pcm.size());
        EXPECT_TRUE(wav.substr(44) == std::string(pcm.begin(), pcm.end()))
            << (wav.size() - 44) << " bytes of sound, " << pcm.size() << " expected";
    }
}

TEST_F(VideoRepairTest, ReferenceWithoutTracksChangesNoResult) {
    Recording rec;
    rec.aud().slice(kSlice1, 300);
    engine.fps_num = 7;
    RefOptions ref;
    ref.noTracks = true;
    EXPECT_EQ(repair(rec.bytes(), ref), videoRepair::kNoTrackRecord);
    EXPECT_FLOAT_EQ(engine.fps_num, 7);
    EXPECT_TRUE(engine.videoOutputPath.isEmpty());
    EXPECT_FALSE(testsupport::fileExists(dir.file("ref.xml")));
}

TEST_F(VideoRepairTest, UnreadableReferenceEndsTheRunWithoutOutput) {
    // Each case spoils the description Ordwick wrote for a recording that repairs well.
    struct Case {
        const char* name;
        void (*spoil)(std::string& description);
    };
    const Case cases[] = {
        {"second track without its type number",
         [](std::string& d) { d.erase(d.find("<typeidx>", d.find("<typeidx>") + 1), 20); }},
        {"packets cut off", [](std::string& d) { d.erase(d.find("<packets>")); }},
        {"audio format at the int32 limit",
         [](std::string& d) {
             d.replace(d.find("<bitpersample>24<"), 17, "<bitpersample>2147483647<");
             d.replace(d.find("<channel>2<"), 11, "<channel>3<");
             d.replace(d.find("<SampleRate>48000<"), 18, "<SampleRate>2147483647<");
         }},
        {"grown past the largest description the engine reads",
         [](std::string& d) {
             d.insert(d.find("<tracks>"), "<!--" + std::string(kMaxDescriptionBytes - d.size(), 'x') + "-->");
         }},
        {"elements nested 100,000 deep",
         [](std::string& d) {
             std::string deep;
             for (int i = 0; i < 100000; ++i) deep += "<x>";
             for (int i = 0; i < 100000; ++i) deep += "</x>";
             d.insert(d.find("<tracks>"), deep);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recording rec;
        rec.aud().slice(kSlice1, 300).audio(200).aud().slice(kSlice1, 300);
        const std::string source = dir.file("damaged.mp4");
        ASSERT_TRUE(testsupport::writeFile(source, rec.bytes()));
        std::string description = testsupport::readFile(writeReference(dir.file("ref.xml")));
        c.spoil(description);
        ASSERT_TRUE(testsupport::writeFile(dir.file("ref.xml"), description));
        videoRepair fresh;
        EXPECT_EQ(fresh.startFixer(QString::fromStdString(source), QString::fromStdString(dir.file("ref.xml")),
                                   QString::fromStdString(dir.path() + "/")),
                  videoRepair::kNoTrackRecord);
        EXPECT_TRUE(fresh.videoOutputPath.isEmpty());
        EXPECT_FALSE(testsupport::fileExists(dir.file(kVideoStreamFileName)));
        EXPECT_FALSE(testsupport::fileExists(dir.file(kRawAudioFileName)));
        EXPECT_FALSE(testsupport::fileExists(dir.file("ref.xml")));
    }
}

// The engine's trace is discarded: standard output holds the named lines of a run alone.
TEST_F(VideoRepairTest, StandardOutputHoldsOnlyTheNamedLines) {
    struct Case {
        const char* preset;
        std::string lines;
    };
    const Case cases[] = {
        {"sony a7", "preset found: sony a7\n++ preset name: sony a7\n"},
        {"canon eos 70d",
         "preset found: canon eos 70d\n++ preset name: canon eos 70d\npreset canon 70d: canon eos 70d\n"},
        {"canon eos 600d",
         "preset found: canon eos 600d\n++ preset name: canon eos 600d\npreset canon 600d: canon eos 600d\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preset);
        Recording rec;
        rec.aud().slice(kSlice5, 1200).audio(300).aud().slice(kSlice1, 300).audio(200).aud().slice(kSlice1, 300);
        RefOptions ref;
        ref.preset = c.preset;
        testing::internal::CaptureStdout();
        const int result = repair(rec.bytes(), ref);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.lines);
        EXPECT_EQ(result, videoRepair::kFinished);
    }
}

TEST_F(VideoRepairTest, UnusableHeaderTextEndsTheRunWithoutOutput) {
    for (const std::string& header : {std::string("0000000"), std::string("00000001GG")}) {
        SCOPED_TRACE(header);
        Recording rec;
        rec.aud().slice(kSlice1, 300);
        RefOptions ref;
        ref.videoHeader = header;
        EXPECT_EQ(repair(rec.bytes(), ref), videoRepair::kNoTrackRecord);
        EXPECT_FALSE(testsupport::fileExists(dir.file(kVideoStreamFileName)));
        EXPECT_FALSE(testsupport::fileExists(dir.file(kRawAudioFileName)));
    }
}

// Ends that recovered nothing to mux are failures of their own, never the finished code.
TEST_F(VideoRepairTest, RunsThatRecoverNoPictureAreFailures) {
    Recording rec;
    rec.aud().slice(kSlice1, 300).audio(200).aud().slice(kSlice1, 300);
    RefOptions withoutVideo;
    withoutVideo.noVideo = true;
    EXPECT_EQ(repair(rec.bytes(), withoutVideo), videoRepair::kNoVideoTrack);
    EXPECT_FALSE(testsupport::fileExists(dir.file("out-video.h264")));

    Recording noise;
    noise.audio(5000);
    EXPECT_EQ(repair(noise.bytes()), videoRepair::kNoVideoFound);
    EXPECT_EQ(video(), fromHex(kVideoHeaderHex)) << "the parameter sets alone";
}

// A failure the run raises itself (here the read buffer cannot be had) ends it as a failure,
// with its files closed and the results set.
TEST_F(VideoRepairTest, AFailureInsideTheRunIsNoFinish) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator ends the program on an allocation this large";
#endif
    Recording rec;
    rec.aud().slice(kSlice5, 1500).aud().slice(kSlice1, 300);
    EXPECT_EQ(repair(rec.bytes(), {}, std::int64_t(1) << 46), videoRepair::kRunFailed);
    EXPECT_FALSE(engine.lastRun()->videoOut.isOpen());
    EXPECT_FALSE(engine.lastRun()->source.isOpen());
    EXPECT_EQ(engine.videoOutputPath.toStdString(), dir.file("out-video.h264"));
}

// Reading a description outside a run needs no run: its preset name goes nowhere.
TEST(VideoRepairPreset, ReadsBeforeAnyRun) {
    TempDir dir;
    videoRepair engine;
    AnalysisResult analysis;
    MediaInfo media;
    EXPECT_TRUE(engine.readVideoPreset(QString::fromStdString(writeReference(dir.file("ref.xml"))), analysis, media));
    EXPECT_EQ(analysis.tracks.size(), 2u);
    EXPECT_EQ(engine.lastRun(), nullptr);
}

TEST_F(VideoRepairTest, FilesThatCannotBeUsedAreFailures) {
    Recording rec;
    rec.aud().slice(kSlice1, 300);
    const std::string source = dir.file("damaged.mp4");
    ASSERT_TRUE(testsupport::writeFile(source, rec.bytes()));
    struct Case {
        const char* name;
        std::string source;
        std::string folder;
        int result;
    };
    const Case cases[] = {
        {"missing source", dir.file("none.mp4"), dir.path() + "/", videoRepair::kSourceUnreadable},
        {"source is a folder", dir.path(), dir.path() + "/", videoRepair::kSourceUnreadable},
        {"output folder missing", source, dir.file("no/such/"), videoRepair::kVideoOutputFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeReference(dir.file("ref.xml"));
        EXPECT_EQ(engine.startFixer(QString::fromStdString(c.source), QString::fromStdString(dir.file("ref.xml")),
                                    QString::fromStdString(c.folder)),
                  c.result);
    }
}

TEST_F(VideoRepairTest, StopEndsTheRunNormally) {
    Recording rec;
    for (int i = 0; i < 50; ++i) rec.aud().slice(kSlice1, 400).audio(200);
    QStringList phases;
    QObject::connect(&engine, &videoRepair::statusFix, [&](const QString& s) { phases << s; });
    QObject::connect(&engine, &videoRepair::statusFixProgress, [&](int percent) {
        if (percent >= 20) engine.stopFixer();
    });
    RefOptions ref;
    ref.audioCodec = "pcm_s16le";
    ref.audioFormat = mp4::fourcc("sowt");
    ASSERT_EQ(repair(rec.bytes(), ref), videoRepair::kFinished);
    EXPECT_EQ(phases.last(), "Finilizing process...");
    EXPECT_LT(video().size(), rec.expectedVideo().size());
    EXPECT_TRUE(video() == rec.expectedVideo().substr(0, video().size()));
    EXPECT_EQ(testsupport::readFile(dir.file(kWavAudioFileName)).substr(0, 4), "RIFF");
    EXPECT_FALSE(engine.isAac);
    // The next run starts afresh: the request belongs to the run it stopped.
    ASSERT_EQ(repair(rec.bytes(), ref), videoRepair::kFinished);
}

// A stop asked for before the run starts is not lost: the run ends at its first scan position
// and still finishes. An owner's flag stays as the owner set it; the engine's own request is gone
// with the run it stopped.
TEST_F(VideoRepairTest, AStopAskedBeforeTheRunStopsIt) {
    Recording rec;
    for (int i = 0; i < 20; ++i) rec.aud().slice(kSlice1, 400).audio(200);
    struct Case {
        const char* name;
        bool ownersFlag;
    };
    for (const Case c : {Case{"the owner's flag", true}, Case{"stopFixer", false}}) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> cancel{false};
        auto stopped = c.ownersFlag ? std::make_unique<videoRepair>(cancel) : std::make_unique<videoRepair>();
        if (c.ownersFlag)
            cancel = true;
        else
            stopped->stopFixer();
        QStringList phases;
        QObject::connect(stopped.get(), &videoRepair::statusFix, [&](const QString& s) { phases << s; });
        ASSERT_EQ(repairBy(*stopped, rec.bytes()), videoRepair::kFinished);
        EXPECT_EQ(phases, (QStringList{"Repair started", "Scan...", "Finilizing process..."}));
        EXPECT_EQ(video(), fromHex(kVideoHeaderHex)) << "no picture scanned";
        EXPECT_EQ(stopped->stopRequested(), c.ownersFlag);
        cancel = false;
        ASSERT_EQ(repairBy(*stopped, rec.bytes()), videoRepair::kFinished);
        EXPECT_EQ(firstDifference(video(), rec.expectedVideo()), std::string::npos) << "the next run is whole";
    }
}

TEST_F(VideoRepairTest, ProgressIsSentInWholeGrowingPercents) {
    Recording rec;
    while (rec.bytes().size() < 10000) rec.aud().slice(kSlice1, 150).audio(40);
    std::vector<int> sent;
    QObject::connect(&engine, &videoRepair::statusFixProgress, [&](int p) { sent.push_back(p); });
    ASSERT_EQ(repair(rec.bytes()), videoRepair::kFinished);
    ASSERT_FALSE(sent.empty());
    int last = 0;
    for (int p : sent) {
        EXPECT_GT(p, last);
        EXPECT_LE(p, 100);
        last = p;
    }
}

TEST_F(VideoRepairTest, SecondRunStartsFresh) {
    Recording rec;
    rec.aud().slice(kSlice1, 300).audio(100).slice(kSlice1, 300);
    RefOptions first;
    first.preset = "canon eos 70d";
    ASSERT_EQ(repair(rec.bytes(), first), videoRepair::kFinished);
    EXPECT_EQ(engine.lastRun()->cameraPresetName, "canon eos 70d");
    const std::uint64_t labels = engine.lastRun()->packets.count();
    EXPECT_GT(labels, 0u);
    ASSERT_EQ(repair(rec.bytes()), videoRepair::kFinished);
    EXPECT_EQ(engine.lastRun()->cameraPresetName, "");
    EXPECT_EQ(engine.lastRun()->packets.count(), labels);
    EXPECT_EQ(engine.lastRun()->analysis.nalStats[1].minSize, 32u) << "rules of the new preset only";
}

TEST_F(VideoRepairTest, AUnitThatTheFileCutsOffIsNotWritten) {
    Recording rec;
    rec.aud().slice(kSlice1, 300).aud().audio(90);
    rec.raw(Bytes().be32(500).raw({0x41, 0x9A}).fill(120, 0x37));
    ASSERT_EQ(repair(rec.bytes()), videoRepair::kFinished);
    EXPECT_EQ(firstDifference(video(), rec.expectedVideo()), std::string::npos);
    // The run before it is decided on its own; the unit's bytes are no audio either. The
    // delimiter in front of the run led no picture: its bytes stay with the run they stood in.
    const std::string delimiter("\0\0\0\2\x09\x10", 6);
    EXPECT_EQ(firstDifference(audioRaw(), fromHex(kAudioHeaderHex) + delimiter + rec.expectedAudio()),
              std::string::npos)
        << audioRaw().size() << " audio bytes";
}

TEST_F(VideoRepairTest, TotalsBelongToOneRun) {
    Recording rec;
    rec.aud().slice(kSlice1, 300).audio(700).slice(kSlice1, 300).audio(50).aud().slice(kSlice1, 280);
    for (const bool withAudio : {true, false}) {
        SCOPED_TRACE(withAudio ? "audio written" : "runs dropped");
        RefOptions ref;
        ref.audio = withAudio;
        ASSERT_EQ(repair(rec.bytes(), ref), videoRepair::kFinished);
        const AudioRunBook first = engine.lastRun()->audio;
        EXPECT_GT(withAudio ? first.audioTotal : first.droppedBytes, 0);
        ASSERT_EQ(repair(rec.bytes(), ref), videoRepair::kFinished);
        const AudioRunBook& second = engine.lastRun()->audio;
        EXPECT_EQ(second.audioTotal, first.audioTotal);
        EXPECT_EQ(second.droppedBytes, first.droppedBytes);
        EXPECT_EQ(second.handedTotal, first.handedTotal);
    }
}

TEST_F(VideoRepairTest, AnnouncedJunkHoldsVideoBackOnlyWithinTheAudioRunLimit) {
    struct Case {
        const char* name;
        std::uint32_t announced;
        bool sliceTaken;
    };
    const Case cases[] = {
        {"shorter than the run before the slice", 80, true},
        {"longer than the run before the slice", 150, false},
        {"beyond the longest audio run: ignored", 4000000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recording rec;
        rec.aud().slice(kSlice1, 300);
        rec.raw(Bytes().be32(0x47500400).be32(c.announced).fill(8, 0x11));  // a 16-byte camera record
        rec.audio(100).slice(kSlice1, 300, c.sliceTaken).aud();
        RefOptions ref;
        ref.preset = "ambarella";
        ASSERT_EQ(repair(rec.bytes(), ref), videoRepair::kFinished);
        EXPECT_TRUE(video() == rec.expectedVideo());
    }
}

TEST_F(VideoRepairTest, PcmChunkProductIsTakenIn64Bits) {
    Recording rec;
    rec.aud().slice(kSlice1, 300).audio(1000).aud().slice(kSlice1, 300).aud();
    RefOptions ref;
    ref.audioCodec = "pcm_s16le";
    ref.audioFormat = mp4::fourcc("sowt");
    ref.pcmSampleSize = 65536;
    ref.pcmSamplesPerChunk = 32768;  // 2^31 samples: negative in 32 bits
    ASSERT_EQ(repair(rec.bytes(), ref), videoRepair::kFinished);
    EXPECT_EQ(engine.lastRun()->audio.chunkSampleCount, std::int64_t(1) << 31);
    EXPECT_EQ(testsupport::readFile(dir.file(kWavAudioFileName)).size(), 44u) << "no run fills such a chunk";
    EXPECT_EQ(firstDifference(video(), rec.expectedVideo()), std::string::npos);
}

TEST_F(VideoRepairTest, AFullDiskIsAFailureAndTheWavHeaderCountsOnlyWrittenBytes) {
    Recording rec;
    for (int i = 0; i < 10; ++i) rec.aud().slice(kSlice1, 300).audio(1000);  // PCM runs of one chunk each
    rec.aud().slice(kSlice1, 300);
    const std::string source = dir.file("damaged.mp4");
    ASSERT_TRUE(testsupport::writeFile(source, rec.bytes()));
    RefOptions ref;
    ref.audioCodec = "pcm_s16le";
    ref.audioFormat = mp4::fourcc("sowt");
    writeReference(dir.file("ref.xml"), ref);
    const std::size_t limit = 4096;  // the video output stays below it, the audio does not
    ASSERT_LT(rec.expectedVideo().size(), limit);
    int result = 0;
    {
        testsupport::FileSizeLimit full(limit);
        result = engine.startFixer(QString::fromStdString(source), QString::fromStdString(dir.file("ref.xml")),
                                   QString::fromStdString(dir.path() + "/"));
    }
    EXPECT_EQ(result, videoRepair::kAudioOutputFailed);
    EXPECT_EQ(engine.outputError, EFBIG) << "the job tells a full disk by it";
    EXPECT_FALSE(engine.lastRun()->audioOut.isOpen());
    EXPECT_EQ(firstDifference(video(), rec.expectedVideo()), std::string::npos);
    const std::string wav = testsupport::readFile(dir.file(kWavAudioFileName));
    ASSERT_EQ(wav.size(), limit);
    EXPECT_EQ(mp4::le32(wav.data() + 40), limit - 44) << "data size: what reached the file";
    EXPECT_EQ(mp4::le32(wav.data() + 4), limit - 8);
    EXPECT_GT(engine.lastRun()->audio.audioTotal, std::int64_t(limit)) << "more was handed to the output";
}

TEST_F(VideoRepairTest, HevcShiftedLengthWordDoesNotSwallowTheUnitAfterAudioEndingInZeros) {
    // The H.265 type-0 rule (header word 0001, sizes from 0) also fits the length word read three
    // bytes early, when the audio before a unit ends in 00 0x. That false unit, of a size the
    // reference never showed, reaches into the units behind it and is refused; the real one is
    // taken.
    for (const std::uint32_t length : {489u, 512u}) {
        SCOPED_TRACE(length);
        Recording rec(true);
        rec.aud().slice({0x02, 0x01}, 600);
        rec.raw(Bytes().raw({0xFF, 0xF9}).fill(60, 0xA5).raw({0x00, 0x00, 0x1C}));
        rec.slice({0x00, 0x01}, length);
        for (int i = 0; i < 10; ++i) rec.aud().slice({0x02, 0x01}, 1000);
        RefOptions ref;
        ref.coding = "H.265";
        ASSERT_EQ(repair(rec.bytes(), ref), videoRepair::kFinished);
        EXPECT_TRUE(video() == rec.expectedVideo());
    }
}

// The scan labels what it took with the type names of the run's coding: the same header byte
// is another type in H.265 than in H.264.
TEST_F(VideoRepairTest, PacketsAreLabelledInTheRunsCoding) {
    const auto labels = [this] {
        std::vector<std::string> out;
        const PacketList& packets = engine.lastRun()->packets;
        for (std::size_t i = 0; i < packets.count(); ++i) out.push_back(packets.labelAt(i));
        return out;
    };
    Recording h264;
    h264.aud().slice(kSlice5, 1500).audio(700).aud().slice(kSlice1, 300).aud().slice(kSlice1, 250);
    ASSERT_EQ(repair(h264.bytes()), videoRepair::kFinished);
    EXPECT_EQ(labels(), (std::vector<std::string>{"IDR picture", "audio", "P Frame", "P Frame"}));

    Recording h265(true);
    for (int i = 0; i < 3; ++i) h265.slice({0x02, 0x01}, 1000);
    RefOptions ref;
    ref.coding = "H.265";
    ASSERT_EQ(repair(h265.bytes(), ref), videoRepair::kFinished);
    EXPECT_EQ(labels(), std::vector<std::string>(3, "NAL_UNIT_CODED_SLICE_TRAIL_R"));
}

TEST_F(VideoRepairTest, PicturesBehindAJunkRunLongerThanTheLimitAreFound) {
    // 33 MiB that match nothing (a damaged stretch), then a hole longer than any audio run, of
    // zeros or of erased flash (0xFF): the scan drops both and goes on to the pictures behind.
    Bytes junk;
    for (std::size_t i = 0; i < (33u << 20); ++i) junk.raw({std::uint8_t(0x80 | (i * 7) % 120)});
    for (const std::uint8_t hole : {std::uint8_t(0x00), std::uint8_t(0xFF)}) {
        SCOPED_TRACE(int(hole));
        Recording rec;
        rec.aud().slice(kSlice5, 3000).audio(200);
        rec.raw(junk).aud().slice(kSlice1, 300).audio(300);
        rec.raw(Bytes().fill(4u << 20, hole)).audio(300).aud().slice(kSlice1, 400).audio(150).aud().slice(kSlice1, 350);
        ASSERT_EQ(repair(rec.bytes()), videoRepair::kFinished);
        EXPECT_EQ(firstDifference(video(), rec.expectedVideo()), std::string::npos);
        // The runs beside the hole are sound of their own; the hole itself is dropped.
        const std::string audio = audioRaw();
        EXPECT_NE(audio.find(std::string(298, '\xA5')), std::string::npos);
        EXPECT_EQ(audio.find(std::string(64, char(hole))), std::string::npos) << "no bytes of the hole in the sound";
    }
}

TEST_F(VideoRepairTest, AUnitTheFileCutsOffNeverGoesIntoTheSound) {
    // The cut goes through the last slice; a box pattern deep inside its bytes must not make
    // them a run of sound. (A unit's bytes never hold 00 00 00, so the box is a long one.)
    Recording rec;
    rec.aud().slice(kSlice5, 3000).audio(200);
    Bytes cutOff;
    cutOff.be32(20000).raw({0x41, 0x9A}).fill(6000, 0x5C).be32(0x5C5C).text("free").fill(8, 0x33).fill(3000, 0x5C);
    rec.raw(cutOff);
    ASSERT_EQ(repair(rec.bytes()), videoRepair::kFinished);
    EXPECT_EQ(firstDifference(video(), rec.expectedVideo()), std::string::npos);
    EXPECT_EQ(firstDifference(audioRaw(), fromHex(kAudioHeaderHex) + rec.expectedAudio()), std::string::npos)
        << audioRaw().size() << " bytes of sound";
}

TEST_F(VideoRepairTest, StopFromAnotherThreadEndsTheRun) {
    Recording rec;
    while (rec.size() < (8u << 20)) rec.aud().slice(kSlice1, 4000).audio(2000);
    const std::string source = dir.file("damaged.mp4");
    ASSERT_TRUE(testsupport::writeFile(source, rec.bytes()));
    writeReference(dir.file("ref.xml"));
    std::atomic<int> percent{0};
    QObject::connect(&engine, &videoRepair::statusFixProgress, &engine, [&](int p) { percent = p; },
                     Qt::DirectConnection);
    int result = -100;
    std::thread job([&] {
        result = engine.startFixer(QString::fromStdString(source), QString::fromStdString(dir.file("ref.xml")),
                                   QString::fromStdString(dir.path() + "/"));
    });
    while (percent.load() < 1) std::this_thread::yield();
    engine.stopFixer();
    job.join();
    EXPECT_EQ(result, videoRepair::kFinished);
    EXPECT_LT(engine.lastRun()->source.position(), std::int64_t(rec.bytes().size()));
    EXPECT_FALSE(engine.lastRun()->videoOut.isOpen());
    EXPECT_FALSE(engine.lastRun()->audioOut.isOpen());
    const std::string written = video();
    EXPECT_LT(written.size(), rec.expectedVideo().size());
    EXPECT_TRUE(written == rec.expectedVideo().substr(0, written.size())) << "what was written so far, whole";
}

}  // namespace
