#include "media/frame_picture.h"

#include <QColor>
#include <QFont>
#include <QPainter>

#include <cstring>
#include <memory>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

struct SwsDeleter {
    void operator()(SwsContext* c) const { sws_freeContext(c); }
};

// An RGB24 buffer from av_image_alloc, released with its first plane.
struct RgbBuffer {
    std::uint8_t* data[4] = {nullptr, nullptr, nullptr, nullptr};
    int linesize[4] = {0, 0, 0, 0};
    ~RgbBuffer() { av_freep(&data[0]); }
};

}  // namespace

QImage frameToRgbImage(const AVFrame* frame, int swsFlags) {
    if (!frame || !frame->data[0]) return {};
    const int width = frame->width;
    const int height = frame->height;
    const auto format = static_cast<AVPixelFormat>(frame->format);
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide) return {};
    if (!av_pix_fmt_desc_get(format) || av_image_check_size(width, height, 0, nullptr) < 0) return {};

    std::unique_ptr<SwsContext, SwsDeleter> sws(
        sws_getContext(width, height, format, width, height, AV_PIX_FMT_RGB24, swsFlags, nullptr, nullptr, nullptr));
    if (!sws) return {};
    RgbBuffer rgb;
    if (av_image_alloc(rgb.data, rgb.linesize, width, height, AV_PIX_FMT_RGB24, 32) < 0) return {};
    if (sws_scale(sws.get(), frame->data, frame->linesize, 0, height, rgb.data, rgb.linesize) != height) return {};

    QImage picture(width, height, QImage::Format_RGB888);
    if (picture.isNull()) return {};
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        std::memcpy(picture.scanLine(y), rgb.data[0] + static_cast<std::ptrdiff_t>(y) * rgb.linesize[0], rowBytes);
    return picture;
}

QImage scaledPicture(const QImage& picture, int width, int height) {
    if (picture.isNull()) return {};
    return picture.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void stampTextBox(QImage& picture, const QRectF& box, const QString& text) {
    if (picture.isNull()) return;
    QPainter painter(&picture);
    painter.fillRect(box, QColor(0, 0, 0, 110));
    QFont font("Times", 9, QFont::Bold, false);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
}
