#pragma once
// Decoded frames turned into small preview pictures: RGB conversion at the frame's own size
// and pixel format, scaling to the preview size, and the text box stamped on it.
#include <QImage>
#include <QRectF>
#include <QString>

struct AVFrame;

// Largest frame side converted; larger frames are refused instead of allocated.
constexpr int kMaxPictureSide = 16384;

// `frame` as a 24-bit RGB picture of the frame's own width, height and pixel format (which
// may differ from what its decoder context last announced). `swsFlags` picks the scaler
// (SWS_BILINEAR, SWS_FAST_BILINEAR ...). A null image when the frame cannot be converted.
QImage frameToRgbImage(const AVFrame* frame, int swsFlags);
// The same into `picture`, which is reused when it already has the frame's size; false (and
// `picture` unspecified) when the frame cannot be converted.
bool frameToRgbImage(const AVFrame* frame, int swsFlags, QImage& picture);

// `picture` scaled to `width` x `height`, aspect ratio ignored, smooth transformation.
QImage scaledPicture(const QImage& picture, int width, int height);

// Fills `box` with black at alpha 110 and writes `text` centred in it, in white, "Times"
// 9 points bold.
void stampTextBox(QImage& picture, const QRectF& box, const QString& text);
