#pragma once
// The formats of a repair run, decided once from the reference description: the scan, its
// checks and the audio extraction read these values instead of comparing the reference's
// display names again.
#include <optional>

#include "mp4/program_config.h"
#include "reference/records.h"

enum class VideoCoding { H264, H265 };

enum class AudioCoding {
    None,      // no audio track
    Coded,     // AAC and other compressed audio: raw frames behind the reference's header
    Pcm,       // uncompressed samples, written as a PCM WAV file
    ImaAdpcm,  // IMA ADPCM blocks, written as an ADPCM WAV file
    // QuickTime IMA ADPCM packets: no WAV format holds them, so they are decoded into a PCM WAV
    // file after the scan.
    ImaAdpcmQt,
};

// H.265 when the video track's coding name says so (an absent track counts as H.264).
VideoCoding videoCodingOf(const AnalysisResult& analysis, int videoTrack);
// By the audio decoder's name; None without an audio track.
AudioCoding audioCodingOf(const MediaInfo& media, int audioTrack);

struct RunFormats {
    VideoCoding video = VideoCoding::H264;
    AudioCoding audio = AudioCoding::None;
    // AAC whose raw frames a run can be told by: the stream's first channel element, from the
    // reference's audio header; absent for other sound.
    std::optional<mp4::ChannelElement> aacFirstElement;
    bool hevc() const { return video == VideoCoding::H265; }
};

inline bool writesWav(AudioCoding coding) {
    return coding == AudioCoding::Pcm || coding == AudioCoding::ImaAdpcm || coding == AudioCoding::ImaAdpcmQt;
}
