#include "media/frame_picture.h"

#include <QColor>
#include <QFont>
#include <QPainter>

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

// An RGB888 picture laid out as av_image_alloc lays out its buffers: rows of whole 8-pixel
// groups on 32-byte boundaries, since the scaler's vector code writes whole groups; the buffer
// runs on past its last row for the same reason.
QImage alignedRgbPicture(int width, int height) {
    constexpr int kAlign = 32;
    const int stride = ((width + 7) / 8 * 8 * 3 + kAlign - 1) / kAlign * kAlign;
    auto* data = static_cast<uchar*>(av_malloc(std::size_t(stride) * std::size_t(height) + kAlign));
    if (!data) return {};
    QImage picture(data, width, height, stride, QImage::Format_RGB888, [](void* buffer) { av_free(buffer); }, data);
    if (picture.isNull()) av_free(data);
    return picture;
}

}  // namespace

bool frameToRgbImage(const AVFrame* frame, int swsFlags, QImage& picture) {
    if (!frame || !frame->data[0]) return false;
    const int width = frame->width;
    const int height = frame->height;
    const auto format = static_cast<AVPixelFormat>(frame->format);
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide) return false;
    if (!av_pix_fmt_desc_get(format) || av_image_check_size(width, height, 0, nullptr) < 0) return false;

    std::unique_ptr<SwsContext, SwsDeleter> sws(
        sws_getContext(width, height, format, width, height, AV_PIX_FMT_RGB24, swsFlags, nullptr, nullptr, nullptr));
    if (!sws) return false;
    // Reused when it already has the frame's size, so a run of frames does not allocate (and
    // fault in) a new picture each time.
    // A picture shared with a copy would be detached into a buffer without the padding.
    if (picture.width() != width || picture.height() != height || picture.format() != QImage::Format_RGB888 ||
        !picture.isDetached())
        picture = alignedRgbPicture(width, height);
    if (picture.isNull()) return false;
    // The rows are written straight into the picture.
    std::uint8_t* rows[4] = {picture.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {picture.bytesPerLine(), 0, 0, 0};
    return sws_scale(sws.get(), frame->data, frame->linesize, 0, height, rows, strides) == height;
}

QImage frameToRgbImage(const AVFrame* frame, int swsFlags) {
    QImage picture;
    if (!frameToRgbImage(frame, swsFlags, picture)) return {};
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
