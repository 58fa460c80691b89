#pragma once
// Comparing the live preview's pictures with the ffmpeg tool's frames of the same video.
#include <QImage>
#include <QRect>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

namespace previewpictures {

constexpr int kWidth = 180;
constexpr int kHeight = 122;
// The "Repair..." box with a pixel of margin; left out of comparisons.
const QRect kTextBox(108, 0, kWidth - 108, 19);

// Every frame of `file` (input options such as "-f h264" first) as the ffmpeg tool decodes it,
// scaled to the preview size the way the preview scales.
inline std::vector<QImage> toolFrames(std::vector<std::string> input, int width, int height) {
    testsupport::TempDir dir;
    const std::string out = dir.file("frames.rgb");
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y"};
    argv.insert(argv.end(), input.begin(), input.end());
    argv.insert(argv.end(), {"-f", "rawvideo", "-pix_fmt", "rgb24", out});
    testsupport::runProcess(argv);
    const std::string bytes = testsupport::readFile(out);
    const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 3;
    std::vector<QImage> frames;
    for (std::size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
        const QImage full(reinterpret_cast<const uchar*>(bytes.data() + at), width, height, width * 3,
                          QImage::Format_RGB888);
        frames.push_back(full.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    return frames;
}

// Mean absolute channel difference outside the text box.
inline double meanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    long count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (kTextBox.contains(x, y)) continue;
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
            count += 3;
        }
    return count ? sum / count : 0;
}

// The difference to the frame that `shown` resembles most.
inline double closestFrame(const QImage& shown, const std::vector<QImage>& frames) {
    double best = 1e9;
    for (const QImage& frame : frames) best = std::min(best, meanDifference(shown, frame));
    return best;
}

// White pixels of the text inside the "Repair..." box.
inline int whitePixelsInTextBox(const QImage& image) {
    int white = 0;
    for (int y = 5; y < 17; ++y)
        for (int x = 110; x < 176; ++x) {
            const QRgb p = image.pixel(x, y);
            white += qRed(p) > 230 && qGreen(p) > 230 && qBlue(p) > 230;
        }
    return white;
}

}  // namespace previewpictures
