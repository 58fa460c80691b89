#pragma once
// Short clips generated with the ffmpeg tool at test time (testsrc2 picture, sine tone),
// made once into the build tree and reused by every test that asks for the same recipe.
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

enum class VideoCodec { H264, H264NoBFrames, H265, None };
enum class AudioCodec { Aac, PcmS16be, PcmS16le, PcmS24le, ImaAdpcmQt, ImaAdpcmWav, None };
enum class Container { Mp4, Mov, ThreeGp };

struct ClipSettings {
    VideoCodec video = VideoCodec::H264;
    AudioCodec audio = AudioCodec::Aac;
    Container container = Container::Mp4;
    double seconds = 2;
    int width = 320;
    int height = 240;
    int fps = 25;
    int audioRate = 48000;
    int audioChannels = 2;
    // Further ffmpeg output options (-map order, -timecode, -chunk_duration, bit rates ...).
    std::vector<std::string> extraArgs;
};

// A clip of the default size, length and rates with the given codecs, container and options.
ClipSettings clipSettings(VideoCodec video, AudioCodec audio, Container container = Container::Mp4,
                  std::vector<std::string> extraArgs = {});

// Path of the clip for `settings`, generating it on first use. Fails the calling test (and
// returns an empty path) when ffmpeg cannot make it.
std::string clip(const ClipSettings& settings);

// A clip of `settings`'s settings cut at `fraction` of its bytes (the index at the end is lost),
// as a damaged recording; made once like the clip itself.
std::string cutClip(const ClipSettings& settings, double fraction);

// A 720p x264 recording of 12 s at 6 Mbit/s without audio, cut before its index: over 7 MiB of
// media data of the kind the diagnostic's built-in x264 presets were made from.
std::string indexLessX264Recording();

// The ffmpeg tool's command for `settings` writing to `output` (for tests that need a variant).
std::vector<std::string> clipCommand(const ClipSettings& settings, const std::string& output);

// The folder the clips are made in.
std::string clipDir();

// Makes the file at `path` once: `make` writes a private name, which is then linked into place;
// the first maker wins, so parallel test programs never see a half-written file or a second
// version of one they read (the encoders are not deterministic from run to run). True when
// the file is there.
bool produceOnce(const std::string& path, const std::function<bool(const std::string&)>& make);

}  // namespace testsupport
