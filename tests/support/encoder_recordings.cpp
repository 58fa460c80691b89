#include "tests/support/encoder_recordings.h"

#include <gtest/gtest.h>


#include "mp4/nal_header.h"
#include "tests/support/clip_packets.h"
#include "tests/support/test_files.h"

namespace testsupport {

namespace {

constexpr double kCut = 0.7;

ClipSettings settings(VideoCodec video, AudioCodec audio, Container container, std::vector<std::string> extra,
                      int channels = 2) {
    ClipSettings s = clipSettings(video, audio, container, std::move(extra));
    s.audioChannels = channels;
    return s;
}

ClipSettings lasting(ClipSettings s, double seconds) {
    s.seconds = seconds;
    return s;
}

// Inside a sample of several units near 70% of the recording's bytes: after two of its units,
// in the middle of the third.
std::int64_t cutThroughPicture(const std::string& recording, const std::vector<clippackets::MediaPacket>& packets) {
    const std::string bytes = readFile(recording);
    for (const clippackets::MediaPacket& p : packets) {
        if (p.audio || double(p.pos) < kCut * double(bytes.size())) continue;
        const auto units = clippackets::lengthPrefixedUnits(bytes.substr(std::size_t(p.pos), std::size_t(p.size)));
        if (units.size() >= 3) return p.pos + std::int64_t(units[1].end + 4 + units[2].nal.size() / 2);
    }
    ADD_FAILURE() << "no sample of three units after 70% of " << recording;
    return 0;
}

// `kept` bytes into the first picture slice (of over 200 bytes) of a video sample near 70% of the
// recording's bytes.
std::int64_t cutIntoSlice(const std::string& recording, const std::vector<clippackets::MediaPacket>& packets,
                          bool hevc, std::int64_t kept) {
    const std::string bytes = readFile(recording);
    for (const clippackets::MediaPacket& p : packets) {
        if (p.audio || double(p.pos) < kCut * double(bytes.size())) continue;
        std::int64_t unitAt = 0;
        for (const auto& unit : clippackets::lengthPrefixedUnits(bytes.substr(std::size_t(p.pos), std::size_t(p.size)))) {
            if (mp4::isPictureType(mp4::nalTypeOf(std::uint8_t(unit.nal[0]), hevc), hevc) && unit.nal.size() > 200)
                return p.pos + unitAt + 4 + kept;
            unitAt = std::int64_t(unit.end);
        }
    }
    ADD_FAILURE() << "no picture slice after 70% of " << recording;
    return 0;
}

// Between two samples near the middle of what is left: where the last video sample before it starts.
std::int64_t damagePosition(const std::vector<clippackets::MediaPacket>& packets, std::int64_t cut) {
    std::int64_t at = 0;
    for (const clippackets::MediaPacket& p : packets)
        if (!p.audio && p.pos < cut / 2) at = p.pos;
    EXPECT_GT(at, 0);
    return at;
}

// The reference lasts 1.6 s and the recording 4 s. x264 gets a key frame every 2 s, so that the
// reference holds one IDR picture and the recording several (x264 alternates idr_pic_id); x265
// one every second, so that the reference shows a CRA picture as well.
const std::vector<std::string> kX264Defaults = {"-preset", "medium", "-crf", "23", "-g", "50"};
const std::vector<std::string> kX265Defaults = {"-preset", "medium", "-x265-params", "log-level=error:keyint=25"};

}  // namespace

const std::vector<RecordingCase>& encoderRecordings() {
    static const std::vector<RecordingCase> cases = {
        {"x264_defaults_aac", settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, kX264Defaults)},
        {"x264_baseline_aac",
         settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, {"-profile:v", "baseline", "-g", "50"})},
        {"x264_aud_aac", settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, {"-x264-params", "aud=1:keyint=50"})},
        {"x264_high_pcm_mov_2997",
         settings(VideoCodec::H264, AudioCodec::PcmS16le, Container::Mov, {"-b:v", "6M", "-r", "30000/1001", "-g", "60"})},
        {"x264_aac_51", settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, kX264Defaults, 6)},
        {"x264_ima_adpcm_mov", settings(VideoCodec::H264, AudioCodec::ImaAdpcmWav, Container::Mov, {"-g", "25"})},
        {"x264_ima_adpcm_qt_mov", settings(VideoCodec::H264, AudioCodec::ImaAdpcmQt, Container::Mov, {"-g", "25"})},
        {"x264_camera_gop_pyramid_aac",
         settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4,
                  {"-g", "15", "-bf", "2", "-x264-params", "b-pyramid=normal:open-gop=1", "-b:v", "3M"})},
        {"x264_hole_of_zeros_aac", settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, kX264Defaults),
         runOf(0, 40 << 20)},
        {"x265_defaults_aac", settings(VideoCodec::H265, AudioCodec::Aac, Container::Mp4, kX265Defaults)},
        {"x265_noisy_aac",
         settings(VideoCodec::H265, AudioCodec::Aac, Container::Mp4,
                  {"-b:v", "4M", "-x265-params", "log-level=error:keyint=25", "-vf", "noise=alls=40:allf=t"})},
        {"x265_pcm_mov", settings(VideoCodec::H265, AudioCodec::PcmS16le, Container::Mov, kX265Defaults)},
        // Quad sound: the encoder gives it channel configuration 0 and a program config element.
        {"x264_aac_quad",
         settings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, {"-g", "50", "-channel_layout", "quad"}, 4)},
    };
    return cases;
}

DamagedRecording damagedRecording(const RecordingCase& c, const TempDir& dir) {
    DamagedRecording r;
    ClipSettings recordingSettings = lasting(c.settings, c.recordingSeconds);
    recordingSettings.extraArgs.insert(recordingSettings.extraArgs.end(), c.recordingArgs.begin(), c.recordingArgs.end());
    r.reference = clip(lasting(c.settings, c.referenceSeconds));
    r.recording = clip(recordingSettings);
    r.damaged = c.cut == Cut::SeventyPercent ? cutClip(recordingSettings, kCut) : r.recording;
    if (r.reference.empty() || r.recording.empty() || r.damaged.empty()) {
        ADD_FAILURE() << "clips of " << c.name << " could not be made";
        return {};
    }
    if (c.cut == Cut::SeventyPercent && c.damage.kind == DamageKind::None) {
        r.cut = fileSize(r.damaged);
        return r;
    }
    const std::vector<clippackets::MediaPacket> packets = clippackets::packetsOf(r.recording);
    r.cut = c.cut == Cut::SeventyPercent ? fileSize(r.damaged)
            : c.cut == Cut::ThroughPicture ? cutThroughPicture(r.recording, packets)
            : c.cut == Cut::IntoSlice
                ? cutIntoSlice(r.recording, packets, c.settings.video == VideoCodec::H265, c.sliceBytesKept)
                : 0;
    r.damageAt = c.cut == Cut::Nothing || c.damage.kind == DamageKind::None ? 0 : damagePosition(packets, r.cut);
    r.damaged = dir.file("damaged.bin");
    if (!writeDamagedCopy(r.recording, r.cut, r.damageAt, c.damage, r.damaged)) {
        ADD_FAILURE() << "could not write the damaged file of " << c.name;
        return {};
    }
    return r;
}

}  // namespace testsupport
