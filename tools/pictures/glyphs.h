#pragma once
// The program's own glyphs, each drawn on a 100 x 100 canvas (the caller scales the painter to
// the picture's size). Plain shapes in a few colours, so they stay legible at 16 pixels.
#include <QColor>
#include <QString>

class QPainter;

namespace glyphs {

// Colours shared by the glyphs, so the set reads as one family.
inline const QColor kBrand{0x1f, 0x6f, 0x8b};
inline const QColor kAccent{0xe8, 0x84, 0x1c};
inline const QColor kGreen{0x2e, 0x9d, 0x4f};
inline const QColor kRed{0xc9, 0x30, 0x2c};
inline const QColor kAmber{0xd9, 0x8e, 0x04};
inline const QColor kBlue{0x2a, 0x6f, 0xdb};
inline const QColor kSteel{0x5d, 0x6d, 0x7e};

void brandMark(QPainter& p);
void plus(QPainter& p);
void convert(QPainter& p);
void convertSmall(QPainter& p);
void wrench(QPainter& p);
void wrenchSmall(QPainter& p);
void diagnose(QPainter& p);
void stop(QPainter& p);
void clearList(QPainter& p);
void about(QPainter& p);
void cancelSmall(QPainter& p);
void removeSmall(QPainter& p);
void logPage(QPainter& p);
void gear(QPainter& p);
void folder(QPainter& p);
void rotateLeft(QPainter& p);
void rotateRight(QPainter& p);
void rotateHalf(QPainter& p);
void noRotation(QPainter& p);
void sameQuality(QPainter& p);
void success(QPainter& p);
void failure(QPainter& p);
// A result kept that lacks part of what was asked (a picture without its sound).
void incomplete(QPainter& p);
void home(QPainter& p);
void brokenFilm(QPainter& p);
void tools(QPainter& p);
// The preview placeholder: drawn on its own wide canvas of `width` x `height` pixels.
void previewPlaceholder(QPainter& p, int width, int height);
// A format tile: the label in white on a coloured tile.
void formatBadge(QPainter& p, const QColor& colour, const QString& label);

}  // namespace glyphs
