#include "tests/support/damaged_recordings.h"

#include <gtest/gtest.h>


namespace testsupport {

namespace {

const RecordingCase& encoderRecording(const std::string& name) {
    for (const RecordingCase& c : encoderRecordings())
        if (c.name == name) return c;
    ADD_FAILURE() << "no encoder recording " << name;
    return encoderRecordings().front();
}

RecordingCase withAudio(RecordingCase c, AudioCodec audio, Container container, int channels = 2) {
    c.settings.audio = audio;
    c.settings.container = container;
    c.settings.audioChannels = channels;
    return c;
}

// x265's defaults but for the speed, with the GOP length written out: a 5 s reference ends
// before the second key frame, a 20 s recording cut at 70% holds it.
RecordingCase openGop(bool hev1) {
    RecordingCase c;
    c.settings = clipSettings(VideoCodec::H265, AudioCodec::Aac, Container::Mp4,
                              {"-preset", "medium", "-x265-params",
                               hev1 ? "log-level=error:keyint=250:repeat-headers=1" : "log-level=error:keyint=250"});
    if (hev1) c.settings.extraArgs.insert(c.settings.extraArgs.end(), {"-tag:v", "hev1"});
    c.referenceSeconds = 5;
    c.recordingSeconds = 20;
    return c;
}

struct TakeRow {
    Take take;
    const char* name;
};
const TakeRow kTakes[] = {
    {Take::X264Aac, "x264_aac"},
    {Take::X264AacMono, "x264_aac_mono"},
    {Take::X264Aac51, "x264_aac_51"},
    {Take::X264PcmMov, "x264_pcm_mov"},
    {Take::X264ImaQtMov, "x264_ima4_mov"},
    {Take::X265Aac, "x265_aac"},
    {Take::X265OpenGopHvc1, "x265_open_gop_hvc1"},
    {Take::X265OpenGopHev1, "x265_open_gop_hev1"},
    {Take::X264FourSlices, "x264_four_slices"},
    {Take::X264StillScene, "x264_still_scene"},
};

RecordingCase recordingOf(Take take) {
    const RecordingCase& x264 = encoderRecording("x264_defaults_aac");
    switch (take) {
    case Take::X264Aac: return x264;
    case Take::X264AacMono: return withAudio(x264, AudioCodec::Aac, Container::Mp4, 1);
    case Take::X264Aac51: return encoderRecording("x264_aac_51");
    case Take::X264PcmMov: return withAudio(x264, AudioCodec::PcmS16le, Container::Mov);
    case Take::X264ImaQtMov: return withAudio(x264, AudioCodec::ImaAdpcmQt, Container::Mov);
    case Take::X265Aac: return encoderRecording("x265_defaults_aac");
    case Take::X265OpenGopHvc1: return openGop(false);
    case Take::X265OpenGopHev1: return openGop(true);
    case Take::X264FourSlices: {
        RecordingCase c = x264;
        c.settings.extraArgs.insert(c.settings.extraArgs.end(), {"-x264-params", "slices=4"});
        c.cut = Cut::ThroughPicture;
        return c;
    }
    case Take::X264StillScene: {
        RecordingCase c = x264;
        c.recordingArgs = {"-vf", "split[a][b];[a][b]freezeframes=first=1:last=1000000:replace=0"};
        return c;
    }
    }
    return x264;
}

std::string takeName(Take take) {
    for (const TakeRow& row : kTakes)
        if (row.take == take) return row.name;
    return "take";
}

}  // namespace

RecordingCase takeWith(Take take, const Damage& damage) {
    RecordingCase c = recordingOf(take);
    c.name = takeName(take) + "_" + damageName(damage);
    c.damage = damage;
    return c;
}

RecordingCase takeCutIntoSlice(Take take, std::int64_t kept) {
    RecordingCase c = recordingOf(take);
    c.name = takeName(take) + "_cut_" + std::to_string(kept) + "_bytes_into_a_slice";
    c.cut = Cut::IntoSlice;
    c.sliceBytesKept = kept;
    return c;
}

RecordingCase damageAlone(Take take, const Damage& damage) {
    RecordingCase c = takeWith(take, damage);
    c.name = damageName(damage) + "_file_" + takeName(take) + "_reference";
    c.cut = Cut::Nothing;
    return c;
}


}  // namespace testsupport
