#include "repair/run_formats.h"

#include <algorithm>
#include <iterator>

namespace {

struct UncompressedAudio {
    const char* decoder;
    AudioCoding coding;
};

// FFmpeg decoder names of the audio the engine writes as WAV.
constexpr UncompressedAudio kUncompressedAudio[] = {
    {"pcm_s16be", AudioCoding::Pcm}, {"pcm_s16le", AudioCoding::Pcm}, {"pcm_s24be", AudioCoding::Pcm},
    {"pcm_s24le", AudioCoding::Pcm}, {"pcm_s32be", AudioCoding::Pcm}, {"pcm_s32le", AudioCoding::Pcm},
    {"adpcm_ima_wav", AudioCoding::ImaAdpcm}, {"adpcm_ima_qt", AudioCoding::ImaAdpcmQt},
};

}  // namespace

VideoCoding videoCodingOf(const AnalysisResult& analysis, int videoTrack) {
    const bool known = videoTrack >= 0 && static_cast<std::size_t>(videoTrack) < analysis.tracks.size();
    return known && analysis.tracks[static_cast<std::size_t>(videoTrack)].sampleDescCoding == "H.265"
               ? VideoCoding::H265
               : VideoCoding::H264;
}

AudioCoding audioCodingOf(const MediaInfo& media, int audioTrack) {
    if (audioTrack < 0) return AudioCoding::None;
    const auto row = std::find_if(std::begin(kUncompressedAudio), std::end(kUncompressedAudio),
                                  [&](const UncompressedAudio& u) { return media.audioCodecName == u.decoder; });
    return row == std::end(kUncompressedAudio) ? AudioCoding::Coded : row->coding;
}
