// Speed of the audio-repair stand-in on long audio: builds the file the repair engine leaves
// (one ADTS header, then raw AAC frames) from a short ADTS source repeated to the asked
// length, with a region of ZERO_MB megabytes of zeros in the middle of the frames when asked
// (a hole the card left), runs Brannoc on it once and prints one "name: value" line per figure.
//
//   brannoc_bench BRANNOC ADTS_SOURCE WORK_DIR [SECONDS [ZERO_MB]]   (3600 and 0 by default)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include <QProcess>
#include <QString>
#include <QStringList>

#include "media/access_codes.h"
#include "media/work_file_names.h"

namespace {

const int kSampleRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};

struct Frame {
    std::size_t at, length;  // whole ADTS frame, header included
};

std::size_t frameLength(const std::string& b, std::size_t at) {
    const auto u = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(b[at + i])); };
    if (at + 7 > b.size() || u(0) != 0xFF || (u(1) & 0xF6) != 0xF0) return 0;
    const std::size_t length = ((u(3) & 3u) << 11) | (u(4) << 3) | (u(5) >> 5);
    return length >= 7 && at + length <= b.size() ? length : 0;
}

std::vector<Frame> adtsFrames(const std::string& bytes) {
    std::vector<Frame> frames;
    for (std::size_t at = 0, length; (length = frameLength(bytes, at)) != 0; at += length) frames.push_back({at, length});
    return frames;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: brannoc_bench BRANNOC ADTS_SOURCE WORK_DIR [SECONDS]\n";
        return 2;
    }
    const QString brannoc = QString::fromLocal8Bit(argv[1]);
    const std::string source = readAll(argv[2]);
    const std::string raw = std::string(argv[3]) + "/out-audio.raw";
    const double wanted = argc > 4 ? std::stod(argv[4]) : 3600.0;
    const auto zeroBytes = static_cast<std::uint64_t>((argc > 5 ? std::stod(argv[5]) : 0.0) * 1048576.0);

    const std::vector<Frame> frames = adtsFrames(source);
    if (frames.empty()) {
        std::cerr << "no ADTS frames in " << argv[2] << "\n";
        return 1;
    }
    const int rate = kSampleRates[(static_cast<unsigned char>(source[2]) >> 2) & 0x0F];
    const auto frameCount = static_cast<std::uint64_t>(wanted * rate / 1024.0 + 0.5);

    {
        std::ofstream out(raw, std::ios::binary);
        out.write(source.data(), 7);
        const std::string zeros(1 << 20, '\0');
        for (std::uint64_t i = 0; i < frameCount; ++i) {
            // The zero region lies between two frames, halfway.
            if (i == frameCount / 2)
                for (std::uint64_t left = zeroBytes; left > 0; left -= std::min<std::uint64_t>(left, zeros.size()))
                    out.write(zeros.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(left, zeros.size())));
            const Frame& f = frames[i % frames.size()];
            out.write(source.data() + f.at + 7, static_cast<std::streamsize>(f.length - 7));
        }
        if (!out) {
            std::cerr << "cannot write " << raw << "\n";
            return 1;
        }
    }
    // Warm the page cache so the figure is the program's, not the disk's.
    const std::string input = readAll(raw);

    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    const auto start = std::chrono::steady_clock::now();
    process.start(brannoc, {QString::fromStdString(raw), kAudioRepairAccessCode});
    const bool ran = process.waitForStarted() && process.waitForFinished(-1);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const std::string output = readAll(raw + kCheckedAudioSuffix);
    const std::uint64_t framesOut = adtsFrames(output).size();
    const bool ok = ran && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
                    framesOut == frameCount && output.size() == input.size() - zeroBytes - 7 + 7 * frameCount;
    std::remove(raw.c_str());
    std::remove((raw + kCheckedAudioSuffix).c_str());

    std::printf("audio_s: %.0f\n", frameCount * 1024.0 / rate);
    std::printf("sample_rate: %d\n", rate);
    std::printf("input_mb: %.1f\n", input.size() / 1048576.0);
    std::printf("zeros_mb: %.1f\n", zeroBytes / 1048576.0);
    std::printf("frames: %llu\n", static_cast<unsigned long long>(frameCount));
    std::printf("frames_out: %llu\n", static_cast<unsigned long long>(framesOut));
    std::printf("seconds: %.3f\n", seconds);
    std::printf("x_realtime: %.0f\n", seconds > 0 ? frameCount * 1024.0 / rate / seconds : 0);
    std::printf("input_gb_per_s: %.2f\n", seconds > 0 ? input.size() / seconds / 1e9 : 0);
    std::printf("status: %s\n", ok ? "ok" : "failed");
    return ok ? 0 : 1;
}
