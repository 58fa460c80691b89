#include "tests/support/test_clips.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <utility>

#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

struct VideoRecipe {
    VideoCodec codec;
    const char* tag;
    std::vector<std::string> args;
};
struct AudioRecipe {
    AudioCodec codec;
    const char* tag;
    std::vector<std::string> args;
};

const std::vector<VideoRecipe>& videoRecipes() {
    static const std::vector<VideoRecipe> table = {
        {VideoCodec::H264, "h264", {"-c:v", "libx264", "-preset", "veryfast", "-profile:v", "high", "-pix_fmt", "yuv420p"}},
        {VideoCodec::H264NoBFrames, "h264nob", {"-c:v", "libx264", "-preset", "veryfast", "-profile:v", "high", "-bf", "0", "-pix_fmt", "yuv420p"}},
        {VideoCodec::H265, "h265", {"-c:v", "libx265", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-x265-params", "log-level=error", "-tag:v", "hvc1"}},
        {VideoCodec::None, "novideo", {"-vn"}},
    };
    return table;
}

const std::vector<AudioRecipe>& audioRecipes() {
    static const std::vector<AudioRecipe> table = {
        {AudioCodec::Aac, "aac", {"-c:a", "aac", "-b:a", "128k"}},
        {AudioCodec::PcmS16be, "twos", {"-c:a", "pcm_s16be"}},
        {AudioCodec::PcmS16le, "sowt", {"-c:a", "pcm_s16le"}},
        {AudioCodec::PcmS24le, "in24", {"-c:a", "pcm_s24le"}},
        {AudioCodec::ImaAdpcmQt, "ima4", {"-c:a", "adpcm_ima_qt"}},
        {AudioCodec::ImaAdpcmWav, "imawav", {"-c:a", "adpcm_ima_wav"}},
        {AudioCodec::None, "noaudio", {"-an"}},
    };
    return table;
}

struct ContainerRecipe {
    Container container;
    const char* format;
    const char* extension;
};
const ContainerRecipe kContainers[] = {
    {Container::Mp4, "mp4", ".mp4"},
    {Container::Mov, "mov", ".mov"},
    {Container::ThreeGp, "3gp", ".3gp"},
};

const ContainerRecipe& containerRecipe(Container container) {
    for (const ContainerRecipe& row : kContainers)
        if (row.container == container) return row;
    return kContainers[0];
}

template <typename Table, typename Codec>
const auto& recipeFor(const Table& table, Codec codec) {
    for (const auto& row : table)
        if (row.codec == codec) return row;
    return table.back();
}

std::string number(double value) {
    std::ostringstream s;
    s << value;
    return s.str();
}

std::string clipName(const ClipSettings& settings) {
    std::ostringstream name;
    name << recipeFor(videoRecipes(), settings.video).tag << '-' << recipeFor(audioRecipes(), settings.audio).tag << '-'
         << number(settings.seconds) << "s-" << settings.width << 'x' << settings.height << '-' << settings.fps << "fps-"
         << settings.audioRate << "hz" << settings.audioChannels << "ch";
    if (!settings.extraArgs.empty()) {
        std::string joined;
        for (const std::string& a : settings.extraArgs) joined += a + '\x1f';
        name << '-' << std::hex << std::hash<std::string>{}(joined);
    }
    name << containerRecipe(settings.container).extension;
    return name.str();
}

}  // namespace

std::string clipDir() { return VANTOREL_TEST_CLIP_DIR; }

// Writes through a private name and links it into place, so parallel test programs asking for
// the same clip never see a half-written file. The first one to finish wins: the encoders are
// not deterministic from run to run (x265 with threads), and a test that read one version must
// not find another in its place a moment later.
bool produceOnce(const std::string& path, const std::function<bool(const std::string&)>& make) {
    if (fileExists(path)) return true;
    std::error_code ec;
    fs::create_directories(clipDir(), ec);
    fs::path target(path);
    std::string part = (target.parent_path() / ("part" + std::to_string(getpid()) + "-" + target.filename().string())).string();
    if (!make(part)) {
        fs::remove(part, ec);
        return false;
    }
    const bool linked = ::link(part.c_str(), path.c_str()) == 0 || errno == EEXIST;
    fs::remove(part, ec);
    return linked;
}


ClipSettings clipSettings(VideoCodec video, AudioCodec audio, Container container, std::vector<std::string> extraArgs) {
    ClipSettings s;
    s.video = video;
    s.audio = audio;
    s.container = container;
    s.extraArgs = std::move(extraArgs);
    return s;
}

std::vector<std::string> clipCommand(const ClipSettings& settings, const std::string& output) {
    const std::string duration = number(settings.seconds);
    std::vector<std::string> cmd = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    if (settings.video != VideoCodec::None) {
        cmd.insert(cmd.end(), {"-f", "lavfi", "-i",
                               "testsrc2=size=" + std::to_string(settings.width) + "x" + std::to_string(settings.height) +
                                   ":rate=" + std::to_string(settings.fps) + ":duration=" + duration});
    }
    if (settings.audio != AudioCodec::None) {
        cmd.insert(cmd.end(), {"-f", "lavfi", "-i",
                               "sine=frequency=440:beep_factor=4:sample_rate=" + std::to_string(settings.audioRate) +
                                   ":duration=" + duration});
        cmd.insert(cmd.end(), {"-ac", std::to_string(settings.audioChannels)});
    }
    const auto& video = recipeFor(videoRecipes(), settings.video).args;
    const auto& audio = recipeFor(audioRecipes(), settings.audio).args;
    cmd.insert(cmd.end(), video.begin(), video.end());
    cmd.insert(cmd.end(), audio.begin(), audio.end());
    cmd.insert(cmd.end(), settings.extraArgs.begin(), settings.extraArgs.end());
    cmd.insert(cmd.end(), {"-f", containerRecipe(settings.container).format, output});
    return cmd;
}

std::string clip(const ClipSettings& settings) {
    const std::string path = clipDir() + "/" + clipName(settings);
    std::string errors;
    bool ok = produceOnce(path, [&](const std::string& part) {
        ProcessResult r = runProcess(clipCommand(settings, part));
        errors = r.err;
        return r.exitCode == 0;
    });
    if (!ok) {
        ADD_FAILURE() << "ffmpeg could not make " << path << ": " << errors;
        return {};
    }
    return path;
}

std::string cutClip(const ClipSettings& settings, double fraction) {
    const std::string source = clip(settings);
    if (source.empty()) return {};
    fs::path src(source);
    const std::string path =
        (src.parent_path() / ("cut" + number(fraction) + "-" + src.filename().string())).string();
    if (!produceOnce(path, [&](const std::string& part) { return truncatedCopy(source, part, fraction); })) {
        ADD_FAILURE() << "could not cut " << source;
        return {};
    }
    return path;
}

std::string indexLessX264Recording() {
    ClipSettings settings;
    settings.width = 1280;
    settings.height = 720;
    settings.seconds = 12;
    settings.audio = AudioCodec::None;
    settings.extraArgs = {"-b:v", "6M"};
    return cutClip(settings, 0.9);
}

}  // namespace testsupport
