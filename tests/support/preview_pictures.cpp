#include "tests/support/preview_pictures.h"

#include <cmath>

#include "tests/support/test_files.h"
#include "tests/support/test_process.h"

namespace testsupport {

namespace {

bool inTimeBox(int x, int y) { return y >= 4 && y <= 18 && x >= 44; }

}  // namespace

QImage toolPreviewFrame(const std::string& file, int seconds, int width, int height, const std::string& scratch) {
    const std::string out = scratch + "/frame" + std::to_string(seconds) + ".rgb";
    const ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-ss", std::to_string(seconds),
                                        "-i", file, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", out});
    if (r.exitCode != 0) return {};
    const std::string bytes = readFile(out);
    if (bytes.size() != std::size_t(width) * std::size_t(height) * 3u) return {};
    const QImage full(reinterpret_cast<const uchar*>(bytes.data()), width, height, width * 3, QImage::Format_RGB888);
    return full.scaled(180, 122, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

double differenceOutsideTimeBox(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return 255;
    double sum = 0;
    long count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (inTimeBox(x, y)) continue;
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
            count += 3;
        }
    return sum / count;
}

int whitePixelsInTimeBox(const QImage& image, int left, int right) {
    int white = 0;
    for (int y = 5; y < 17 && y < image.height(); ++y)
        for (int x = left; x < right && x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            white += qRed(p) > 230 && qGreen(p) > 230 && qBlue(p) > 230;
        }
    return white;
}

}  // namespace testsupport
