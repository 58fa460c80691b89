// The whole road on generated clips: Ordwick describes a short reference, the engine repairs a
// longer recording of the same settings whose end (and with it the moov box) was cut off, and
// the stream it writes must decode to every whole frame before the cut, in order, and nothing else.
#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "media/access_codes.h"
#include "media/work_file_names.h"
#include "repair/video_repair.h"
#include "tests/repair/recovery_harness.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

namespace {

using namespace testsupport;
using namespace recovery;

// A NAL unit that a fixed rule of the engine never takes, whatever the encoder meant by it,
// unless the reference itself showed a unit of its type and size.
struct KeptOutRule {
    const char* name;
    int type;
    std::size_t min;  // the type's size range after the engine's own rules
    std::size_t max;
    bool keepsOut(const std::string& nal, bool hevc, std::size_t referenceMax) const {
        return nalType(nal, hevc) == type && (nal.size() < min || nal.size() > std::max(max, referenceMax));
    }
};

// The largest unit of `type` that a reference description lists.
std::size_t referenceMax(const std::string& description, int type) {
    boost::property_tree::ptree tree;
    boost::property_tree::read_xml(description, tree);
    for (const auto& child : tree.get_child("videopreset.packets", {}))
        if (child.first == "packet" && child.second.get<int>("type", -1) == type) return child.second.get<std::size_t>("max", 0);
    return 0;
}

// x264 writes its settings as an SEI message of some 700 bytes in the first picture: above the
// fixed range, but the reference shows it, so it comes back. x265 puts its own into the
// parameter sets, which reach the output as the reference's header.
constexpr KeptOutRule kAvcSeiRange{"H.264 SEI size range 5..200", 6, 5, 200};
// 32..42, the minimum halved as for every H.265 type.
constexpr KeptOutRule kHevcSeiRange{"H.265 prefix SEI size range 16..42", 39, 16, 42};

struct EndToEndCase {
    const char* name;
    ClipSettings settings;  // the settings of both clips; the lengths are set by the test
    KeptOutRule rule;
    bool ruleFires;  // the encoder writes units in the samples that the rule keeps out
    // Whether SEI messages inside the rule's range are written too (and must come back).
    bool seiInRange;
};

std::string rawFormat(const ClipSettings& settings) { return settings.video == VideoCodec::H265 ? "hevc" : "h264"; }

ClipSettings withSeconds(ClipSettings settings, double seconds) {
    settings.seconds = seconds;
    return settings;
}

// The value of `key` in a "key=value|key=value" line of ffprobe's compact output.
std::int64_t field(const std::string& line, const std::string& key) {
    const std::size_t at = ("|" + line).find("|" + key + "=");
    if (at == std::string::npos) return -1;
    return std::stoll(line.substr(at + key.size() + 1));
}

struct Packet {
    std::int64_t pos;
    std::int64_t size;
};

// Video packets of `file` in decode order, which is their order in the media data.
std::vector<Packet> videoPackets(const std::string& file) {
    const ProcessResult r = runProcess({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                        "packet=pos,size", "-of", "compact=p=0", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<Packet> packets;
    for (const std::string& line : lines(r.out)) packets.push_back({field(line, "pos"), field(line, "size")});
    return packets;
}

void PrintTo(const EndToEndCase& c, std::ostream* os) { *os << c.name; }

class RepairEndToEnd : public ::testing::TestWithParam<EndToEndCase> {};

TEST_P(RepairEndToEnd, EveryWholeFrameBeforeTheCutComesBackInOrder) {
    const EndToEndCase& c = GetParam();
    const bool hevc = c.settings.video == VideoCodec::H265;
    const ClipSettings recordingSettings = withSeconds(c.settings, 3);
    const std::string reference = clip(withSeconds(c.settings, 1));
    const std::string recording = clip(recordingSettings);
    const std::string damaged = cutClip(recordingSettings, 0.7);
    ASSERT_FALSE(reference.empty() || recording.empty() || damaged.empty());
    TempDir dir;

    const std::string description = dir.file("ref.xml");
    const ProcessResult analysed = runProcess({programPath("Ordwick"), reference, kReferenceAccessCode, description});
    ASSERT_EQ(analysed.exitCode, 0) << analysed.err;
    const std::string header = videoHeader(description);  // the engine consumes the description
    const std::size_t ruleTypeMax = referenceMax(description, c.rule.type);
    ASSERT_FALSE(header.empty());
    videoRepair engine;
    ASSERT_EQ(engine.startFixer(QString::fromStdString(damaged), QString::fromStdString(description),
                                QString::fromStdString(dir.path() + "/")),
              videoRepair::kFinished);
    const std::string repaired = dir.file(kVideoStreamFileName);

    // What the recording holds before the cut: the whole packets, and the units of the packet
    // the cut goes through that lie whole before it.
    const std::int64_t cut = fileSize(damaged);
    const std::vector<Packet> packets = videoPackets(recording);
    int whole = 0;
    while (whole < static_cast<int>(packets.size()) && packets[whole].pos + packets[whole].size <= cut) ++whole;
    ASSERT_GT(whole, 25);
    ASSERT_LT(whole, static_cast<int>(packets.size())) << "the cut lies in the media data";
    const std::string samples = copyPackets(recording, whole + 1, {"-f", "data"}, dir.file("samples.bin"));
    const auto cutPacketStart = static_cast<std::size_t>(samples.size() - packets[whole].size);
    std::vector<std::string> expectedUnits;
    int keptOut = 0;
    int seiKept = 0;
    for (const Unit& unit : lengthPrefixedUnits(samples)) {
        if (unit.end > cutPacketStart &&
            packets[whole].pos + static_cast<std::int64_t>(unit.end - cutPacketStart) > cut)
            break;
        if (c.rule.keepsOut(unit.nal, hevc, ruleTypeMax)) {
            ++keptOut;
            continue;
        }
        if (nalType(unit.nal, hevc) == c.rule.type) ++seiKept;
        expectedUnits.push_back(unit.nal);
    }
    // Nothing that opens an access unit stays behind the last picture.
    while (!expectedUnits.empty() && !isPicture(expectedUnits.back(), hevc)) expectedUnits.pop_back();
    EXPECT_EQ(keptOut > 0, c.ruleFires) << c.rule.name;
    EXPECT_EQ(seiKept > 0, c.seiInRange);

    // The output: the reference's parameter sets, then every unit before the cut in order,
    // less those the rule keeps out; no part of the unit the cut went through.
    const std::string written = readFile(repaired);
    ASSERT_EQ(written.compare(0, header.size(), header), 0) << "the stream opens with the reference's header";
    const std::vector<std::string> units = annexBUnits(written.substr(header.size()));
    EXPECT_EQ(units.size(), expectedUnits.size());
    EXPECT_TRUE(units == expectedUnits) << "units differ from the recording's:\n  written  " << describe(units, hevc)
                                        << "\n  expected " << describe(expectedUnits, hevc);

    // Frame by frame against the whole packets decoded on their own.
    const std::string bsf = hevc ? "hevc_mp4toannexb" : "h264_mp4toannexb";
    copyPackets(recording, whole, {"-bsf:v", bsf, "-f", rawFormat(c.settings)}, dir.file("expected.raw"));
    const std::vector<std::string> expectedFrames = frameSums(dir.file("expected.raw"), rawFormat(c.settings));
    const std::vector<std::string> frames = frameSums(repaired, rawFormat(c.settings));
    EXPECT_EQ(expectedFrames.size(), static_cast<std::size_t>(whole));
    EXPECT_EQ(frames.size(), expectedFrames.size());
    EXPECT_TRUE(frames == expectedFrames) << "decoded frames differ";
}

// Buffering-period and picture-timing SEI messages: small, inside the SEI range.
const std::vector<std::string> kHrdSei = {"-maxrate", "600k", "-bufsize", "1200k", "-x264-params", "nal-hrd=vbr"};

INSTANTIATE_TEST_SUITE_P(
    Clips, RepairEndToEnd,
    ::testing::Values(
        EndToEndCase{"h264_aac_mp4", clipSettings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4), kAvcSeiRange, false, true},
        EndToEndCase{"h264_aac_mp4_hrd_sei", clipSettings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, kHrdSei),
                     kAvcSeiRange, false, true},
        EndToEndCase{"h264_no_bframes_aac_mp4", clipSettings(VideoCodec::H264NoBFrames, AudioCodec::Aac, Container::Mp4),
                     kAvcSeiRange, false, true},
        EndToEndCase{"h264_pcm_mov", clipSettings(VideoCodec::H264, AudioCodec::PcmS16le, Container::Mov), kAvcSeiRange,
                     false, true},
        EndToEndCase{"h265_aac_mp4", clipSettings(VideoCodec::H265, AudioCodec::Aac, Container::Mp4),
                     kHevcSeiRange, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
