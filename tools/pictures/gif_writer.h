#pragma once
// Qt reads GIF files but cannot write them, so the picture generator writes its few GIF files
// itself: one frame, a palette of at most 255 colours plus one transparent index, LZW-coded.
#include <QByteArray>
#include <QImage>

// The picture as a GIF89a file. Pixels below half opacity become transparent; the others are
// taken opaque (their colour kept). Colours are rounded until at most 255 remain.
QByteArray encodeGif(const QImage& picture);
