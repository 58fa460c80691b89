// Camera packets inside a scan. These recordings are synthetic: real H.264 units and AAC frames
// taken from a clip that the ffmpeg tool makes, interleaved with camera packets built from their
// documented byte layouts, repaired against a hand-written reference description. No camera
// model is claimed to be tested by them.
#include <gtest/gtest.h>

#include <QString>
#include <set>
#include <string>
#include <vector>

#include "media/work_file_names.h"
#include "mp4/byte_order.h"
#include "mp4/fourcc_text.h"
#include "mp4/nal_header.h"
#include "reference/document_writer.h"
#include "repair/audio_extraction.h"
#include "repair/repair_run.h"
#include "repair/video_repair.h"
#include "tests/support/clip_packets.h"
#include "tests/repair/packet_bytes.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"

using packetbytes::Bytes;
using namespace testsupport;

namespace {

const std::string kVideoHeaderHex = "0000000167640028ACD940780227E584000003000400000300C83C60C658";
const std::string kAudioHeaderHex = "FFF15080021FFC";

// One video sample's slices (length-prefixed units) and the AAC frames stored after it.
struct Frame {
    std::vector<std::string> units;  // payloads, without their length words
    std::string audio;
};

// The first samples of a generated H.264 + AAC clip. The encoder's long information SEI is left
// out (the fixed SEI range refuses it), and so is the AAC encoder's name frame (dropped by design).
std::vector<Frame> framesOfClip(std::size_t count) {
    const std::string path = clip(ClipSettings{});
    const std::string bytes = readFile(path);
    std::vector<Frame> frames;
    bool nameFrameSeen = false;
    for (const clippackets::MediaPacket& p : clippackets::packetsOf(path)) {
        const std::string data = bytes.substr(std::size_t(p.pos), std::size_t(p.size));
        if (p.audio) {
            if (!nameFrameSeen) {
                nameFrameSeen = true;
                continue;
            }
            if (!frames.empty()) frames.back().audio += data;
            continue;
        }
        if (frames.size() == count) break;
        Frame f;
        for (std::size_t at = 0; at + 4 <= data.size();) {
            const std::uint32_t length = mp4::be32(data.data() + at);
            const std::string unit = data.substr(at + 4, length);
            if (!unit.empty() && mp4::nalTypeOf(std::uint8_t(unit[0]), false) != 6) f.units.push_back(unit);
            at += 4 + length;
        }
        frames.push_back(f);
    }
    return frames;
}

// A reference description for the clip's units: types 1 and 5 with the header words they use.
void writeReference(const std::string& path, const std::string& preset, const std::vector<Frame>& frames) {
    AnalysisResult r;
    MediaInfo m;
    m.videoCodecName = "h264";
    m.fpsNum = 25;
    m.fpsDen = 1;
    m.audioCodecName = "aac";
    m.channels = 2;
    m.sampleRate = 48000;
    TrackRecord v;
    v.typeName = "Video";
    v.typeIndex = 2;
    v.sampleDescFormat = mp4::fourcc("avc1");
    v.sampleDescCoding = "H.264";
    v.videoHeaderHex = kVideoHeaderHex;
    TrackRecord a;
    a.typeName = "Audio";
    a.typeIndex = 1;
    a.sampleDescFormat = mp4::fourcc("mp4a");
    a.audioHeaderHex = kAudioHeaderHex;
    r.tracks = {v, a};
    r.trackCount = 2;
    std::set<std::pair<int, std::uint32_t>> words;
    for (const Frame& f : frames) {
        for (const std::string& u : f.units) {
            const auto* header = reinterpret_cast<const std::uint8_t*>(u.data());
            const int type = mp4::nalTypeOf(header[0], false);
            const std::uint32_t word = mp4::headerWordOf(header, type, false);
            words.insert({type, word});
        }
    }
    r.nalStats[1] = {100, 200000, 1, {}};
    r.nalStats[5] = {1000, 400000, 5, {}};
    for (const auto& [type, word] : words) r.nalStats[std::size_t(type)].headerWords.push_back(word);
    ASSERT_TRUE(writeVideoPreset(path, "Unknown", preset, r, m));
}

struct PacketCase {
    const char* name;
    std::string packet;      // one camera packet as the camera writes it
    const char* tag;
    const char* enabling;    // preset whose rules skip the packet
    const char* other;       // preset whose rules do not
};

std::string str(const Bytes& b) { return std::string(b.vec().begin(), b.vec().end()); }

// `count` bytes that change from one to the next and that no rule reads as anything.
std::vector<std::uint8_t> varying(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = std::uint8_t(0xC1 + i % 7);
    return bytes;
}

const std::vector<PacketCase>& packetCases() {
    static const std::vector<PacketCase> cases = {
        {"CanonWord", str(Bytes().be32(0x04008040).padTo(128, 0xC3)), "[CANON - 0x04008040]", "canon eos 70d",
         "nikon d5"},
        {"SonyRtmd", str(Bytes().be32(0x00080100).be32(0x00AD034B).padTo(1024, 0xC3)), "[SONY RTMD 0x00080100]",
         "sony a7s", "canon eos 70d"},
        {"SonyPsp", str(Bytes().be32(0x00080100).be32(0x000000B8).padTo(192, 0xC3)), "[SONY_PSP 0x00080100]",
         "sony_psp", "sony a7s"},
        {"AmbarellaRecord", str(Bytes().be32(0x47500301).be32(7).padTo(152, 0xC3)), "[AMBARELLA]", "gopro hero 4",
         "nikon d5"},
        {"AmbarellaText", str(Bytes().be32(0x00072020).be32(0x20202020).raw({0x41})), "Ambarella [TEXT]",
         "ambarella", "nikon d5"},
        {"IphoneRecord", str(Bytes().be32(0x68).be32(1).padTo(0x68, 0xC3)), "[IPHONE - 0x00000068]", "iphone 6",
         "canon eos 70d"},
        // Longer than a run of sound: filled with varying bytes, as one stretch of a single value
        // that long is dropped whatever the preset.
        {"JvcCinf", str(Bytes().be32(0x40).text("cinf").raw(varying(94720 - 8))), "[CINF jvc]", "jvc gy-hm", "nikon d5"},
        {"PanasonicRottenData", str(Bytes().be32(0xFFFFFFFF).be32(0xFFFFFFFF)), "[rotten data 0xFFFFFFFF]",
         "panasonic gh5", "nikon d5"},
        {"CanonRepi", str(Bytes().text("repi").raw({0x00, 0x00, 0x00, 0x30}).text("tmcd").padTo(0x30, 0xC3)),
         "[CANON REPI - tmcd]", "canon eos 70d", "iphone 6"},
    };
    return cases;
}

void PrintTo(const PacketCase& c, std::ostream* os) { *os << c.name; }

// A damaged recording: ftyp, an mdat header, then per frame its units, its audio and a camera
// packet, so that every packet stands between audio and the next picture.
struct Synthetic {
    std::string file;
    std::string video;  // the units as the video output must hold them (after the header)
    std::string audio;  // the audio frames as the audio output must hold them (after the header)
};

Synthetic interleave(const std::vector<Frame>& frames, const std::string& packet) {
    Synthetic s;
    s.file = str(Bytes().be32(24).text("ftypisom").be32(0x200).text("isommp41").be32(0).text("mdat"));
    for (const Frame& f : frames) {
        for (const std::string& u : f.units) {
            s.file += str(Bytes().be32(std::uint32_t(u.size()))) + u;
            s.video += std::string("\0\0\0\1", 4) + u;
        }
        s.file += f.audio + packet;
        s.audio += f.audio;
    }
    return s;
}

std::string fromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

class CameraPacketsScanTest : public ::testing::TestWithParam<PacketCase> {
protected:
    static void SetUpTestSuite() { frames_ = framesOfClip(12); }

    void repair(const Synthetic& s, const std::string& preset) {
        const std::string source = dir_.file("damaged.mp4");
        ASSERT_TRUE(writeFile(source, s.file));
        ASSERT_NO_FATAL_FAILURE(writeReference(dir_.file("ref.xml"), preset, frames_));
        ASSERT_EQ(engine_.startFixer(QString::fromStdString(source), QString::fromStdString(dir_.file("ref.xml")),
                                     QString::fromStdString(dir_.path() + "/")),
                  videoRepair::kFinished);
    }
    std::string video() const { return readFile(dir_.file(kVideoStreamFileName)); }
    std::string audio() const { return readFile(dir_.file(kRawAudioFileName)); }
    std::uint64_t tagCount(const std::string& tag) const {
        for (const PacketList::TagCount& t : engine_.lastRun()->packets.tags())
            if (t.tag == tag) return t.count;
        return 0;
    }

    static std::vector<Frame> frames_;
    TempDir dir_;
    videoRepair engine_;
};

std::vector<Frame> CameraPacketsScanTest::frames_;

}  // namespace

TEST_P(CameraPacketsScanTest, EnablingPresetSkipsThePacketWhole) {
    const PacketCase& c = GetParam();
    ASSERT_FALSE(frames_.empty());
    const Synthetic s = interleave(frames_, c.packet);
    ASSERT_NO_FATAL_FAILURE(repair(s, c.enabling));
    EXPECT_TRUE(video() == fromHex(kVideoHeaderHex) + s.video) << "the clip's units, each behind a start code";
    EXPECT_TRUE(audio() == fromHex(kAudioHeaderHex) + s.audio) << "the clip's audio and none of the packet's bytes";
    EXPECT_EQ(tagCount(c.tag), frames_.size());
}

TEST_P(CameraPacketsScanTest, OtherPresetLetsThePacketIntoTheAudio) {
    const PacketCase& c = GetParam();
    ASSERT_FALSE(frames_.empty());
    const Synthetic s = interleave(frames_, c.packet);
    ASSERT_NO_FATAL_FAILURE(repair(s, c.other));
    EXPECT_EQ(tagCount(c.tag), 0u);
    EXPECT_TRUE(video() == fromHex(kVideoHeaderHex) + s.video);
    const std::string out = audio();
    if (std::int64_t(c.packet.size()) > kLeastSoundRunBound) {
        EXPECT_TRUE(out == fromHex(kAudioHeaderHex) + s.audio)
            << "bytes longer than the stream's sound runs are dropped, the sound before them kept";
        return;
    }
    EXPECT_FALSE(out == fromHex(kAudioHeaderHex) + s.audio);
    EXPECT_NE(out.find(c.packet), std::string::npos) << "the packet's bytes were taken for audio";
}

INSTANTIATE_TEST_SUITE_P(SyntheticRecordings, CameraPacketsScanTest, ::testing::ValuesIn(packetCases()),
                         [](const ::testing::TestParamInfo<PacketCase>& info) { return std::string(info.param.name); });
