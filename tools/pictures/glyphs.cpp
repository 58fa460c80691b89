#include "tools/pictures/glyphs.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

namespace glyphs {
namespace {

const QColor kOutline{0x2b, 0x33, 0x3b};
const QColor kFolderBack{0xd9, 0x9a, 0x1e};
const QColor kFolderFront{0xf4, 0xc4, 0x4e};

QPolygonF poly(std::initializer_list<QPointF> points) { return QPolygonF(QVector<QPointF>(points)); }

QPen roundPen(const QColor& colour, qreal width) { return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

void disc(QPainter& p, const QColor& colour) {
    QLinearGradient shade(0, 0, 0, 100);
    shade.setColorAt(0, colour.lighter(118));
    shade.setColorAt(1, colour.darker(112));
    p.setPen(QPen(colour.darker(140), 3));
    p.setBrush(shade);
    p.drawEllipse(QRectF(5, 5, 90, 90));
}

void cross(QPainter& p, qreal inset, qreal width) {
    p.setPen(roundPen(Qt::white, width));
    p.drawLine(QPointF(inset, inset), QPointF(100 - inset, 100 - inset));
    p.drawLine(QPointF(100 - inset, inset), QPointF(inset, 100 - inset));
}

// An arc around (50, 50) that ends in an arrowhead; angles in degrees, counter-clockwise from
// three o'clock as Qt counts them, `span` negative for a clockwise arrow.
void arcArrow(QPainter& p, qreal radius, qreal start, qreal span, const QColor& colour, qreal width) {
    const qreal head = width * 1.6;
    const qreal headDegrees = qRadiansToDegrees(head / radius) * (span < 0 ? -1 : 1);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const QRectF circle(50 - radius, 50 - radius, 2 * radius, 2 * radius);
    p.drawArc(circle, qRound(start * 16), qRound((span - headDegrees) * 16));

    const qreal end = qDegreesToRadians(start + span - headDegrees);
    const QPointF base(50 + radius * qCos(end), 50 - radius * qSin(end));
    const QPointF radial(qCos(end), -qSin(end));
    const qreal direction = span < 0 ? -1 : 1;
    const QPointF tangent(-qSin(end) * direction, -qCos(end) * direction);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(poly({base + radial * head, base + tangent * head * 1.3, base - radial * head}));
}

QPainterPath wrenchShape() {
    QPainterPath body;
    body.addEllipse(QPointF(0, -26), 21, 21);
    body.addRoundedRect(QRectF(-8.5, -30, 17, 72), 8, 8);
    QPainterPath jaw;
    jaw.addRect(QRectF(-7, -52, 14, 26));
    QPainterPath hole;
    hole.addEllipse(QPointF(0, 32), 3.5, 3.5);
    return body.simplified().subtracted(jaw).subtracted(hole);
}

// The wrench on its axis, centred on the painter's origin.
void drawWrench(QPainter& p, qreal outline) {
    QLinearGradient steel(-20, 0, 20, 0);
    steel.setColorAt(0, kSteel.lighter(150));
    steel.setColorAt(1, kSteel);
    p.setPen(QPen(kOutline, outline));
    p.setBrush(steel);
    p.drawPath(wrenchShape());
}

void drawScrewdriver(QPainter& p) {
    p.setPen(QPen(kOutline, 2.5));
    p.setBrush(kSteel.lighter(160));
    p.drawRect(QRectF(-3.5, -40, 7, 40));
    p.drawPolygon(poly({{-3.5, -40}, {3.5, -40}, {1.5, -48}, {-1.5, -48}}));
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(-9, 0, 18, 42), 7, 7);
    p.setPen(QPen(kAccent.darker(140), 2));
    for (qreal x : {-3.0, 3.0}) p.drawLine(QPointF(x, 8), QPointF(x, 34));
}

void filmFrame(QPainter& p, const QRectF& frame, const QColor& body, const QColor& holes) {
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(frame, 6, 6);
    p.setBrush(holes);
    const qreal hole = frame.height() * 0.11;
    for (qreal x = frame.left() + hole * 0.8; x + hole < frame.right(); x += hole * 2) {
        p.drawRect(QRectF(x, frame.top() + hole * 0.5, hole, hole));
        p.drawRect(QRectF(x, frame.bottom() - hole * 1.5, hole, hole));
    }
}

}  // namespace

void brandMark(QPainter& p) {
    QLinearGradient shade(0, 0, 100, 100);
    shade.setColorAt(0, kBrand.lighter(135));
    shade.setColorAt(1, kBrand.darker(125));
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(4, 4, 92, 92), 20, 20);
    p.setBrush(Qt::white);
    p.drawPolygon(poly({{36, 22}, {36, 66}, {72, 44}}));
    // A plaster across the lower edge: the film, mended.
    p.save();
    p.translate(50, 76);
    p.rotate(-12);
    p.setBrush(kAccent);
    p.setPen(QPen(kAccent.darker(130), 2));
    p.drawRoundedRect(QRectF(-38, -8, 76, 16), 8, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent.lighter(135));
    p.drawRoundedRect(QRectF(-12, -6, 24, 12), 3, 3);
    p.restore();
}

void plus(QPainter& p) {
    disc(p, kGreen);
    p.setPen(roundPen(Qt::white, 14));
    p.drawLine(QPointF(50, 27), QPointF(50, 73));
    p.drawLine(QPointF(27, 50), QPointF(73, 50));
}

void convert(QPainter& p) {
    arcArrow(p, 34, 20, 150, kBlue, 13);
    arcArrow(p, 34, 200, 150, kBlue.darker(120), 13);
}

void convertSmall(QPainter& p) {
    arcArrow(p, 32, 20, 150, kBlue, 18);
    arcArrow(p, 32, 200, 150, kBlue.darker(120), 18);
}

void wrench(QPainter& p) {
    p.translate(50, 50);
    p.rotate(45);
    drawWrench(p, 3);
}

void wrenchSmall(QPainter& p) {
    // At 16 pixels a bare steel wrench vanishes on white rows: a white one on an orange disc.
    disc(p, kAccent);
    p.translate(50, 52);
    p.rotate(45);
    p.scale(0.78, 0.78);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(wrenchShape());
}

void diagnose(QPainter& p) {
    p.setPen(roundPen(kOutline, 14));
    p.drawLine(QPointF(64, 64), QPointF(88, 88));
    p.setPen(QPen(kSteel, 9));
    p.setBrush(QColor(0xe8, 0xf1, 0xfb));
    p.drawEllipse(QPointF(42, 42), 29, 29);
    p.setPen(roundPen(kRed, 6));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(poly({{20, 44}, {31, 44}, {37, 30}, {45, 58}, {52, 38}, {57, 44}, {65, 44}}));
}

void stop(QPainter& p) {
    QPolygonF octagon;
    for (int i = 0; i < 8; ++i) {
        const qreal a = qDegreesToRadians(22.5 + 45 * i);
        octagon << QPointF(50 + 45 * qCos(a), 50 + 45 * qSin(a));
    }
    p.setPen(QPen(kRed.darker(140), 3));
    p.setBrush(kRed);
    p.drawPolygon(octagon);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(33, 33, 34, 34), 4, 4);
}

void clearList(QPainter& p) {
    p.setPen(QPen(kOutline, 3));
    p.setBrush(kSteel.lighter(170));
    p.drawRoundedRect(QRectF(40, 8, 20, 12), 3, 3);
    p.setBrush(kSteel);
    p.drawRoundedRect(QRectF(18, 18, 64, 10), 3, 3);
    p.setBrush(kSteel.lighter(135));
    p.drawPolygon(poly({{24, 32}, {76, 32}, {70, 92}, {30, 92}}));
    p.setPen(roundPen(Qt::white, 5));
    for (qreal x : {38.0, 50.0, 62.0}) p.drawLine(QPointF(x, 42), QPointF(x, 82));
}

void about(QPainter& p) {
    disc(p, kBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(50, 28), 8, 8);
    p.drawRoundedRect(QRectF(42, 42, 16, 38), 4, 4);
}

void cancelSmall(QPainter& p) {
    disc(p, kAccent);
    cross(p, 31, 15);
}

void removeSmall(QPainter& p) {
    disc(p, kRed);
    p.setPen(roundPen(Qt::white, 17));
    p.drawLine(QPointF(27, 50), QPointF(73, 50));
}

void logPage(QPainter& p) {
    const QPolygonF page = poly({{18, 6}, {66, 6}, {84, 24}, {84, 94}, {18, 94}});
    p.setPen(QPen(kOutline, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::white);
    p.drawPolygon(page);
    p.setBrush(QColor(0xd5, 0xdc, 0xe3));
    p.drawPolygon(poly({{66, 6}, {66, 24}, {84, 24}}));
    p.setPen(roundPen(kBlue, 6));
    p.drawLine(QPointF(28, 22), QPointF(56, 22));
    p.setPen(roundPen(kSteel, 5));
    for (qreal y = 38; y <= 82; y += 11) p.drawLine(QPointF(28, y), QPointF(y > 70 ? 58 : 74, y));
}

void gear(QPainter& p) {
    QPainterPath shape;
    shape.addEllipse(QPointF(50, 50), 31, 31);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-8, -46, 16, 20), 3, 3);
        QTransform turn;
        turn.translate(50, 50);
        turn.rotate(45 * i);
        shape = shape.united(turn.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(QPointF(50, 50), 12, 12);
    p.setPen(QPen(kOutline, 3));
    p.setBrush(kSteel.lighter(120));
    p.drawPath(shape.simplified().subtracted(hole));
}

void folder(QPainter& p) {
    p.setPen(QPen(kFolderBack.darker(140), 4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(kFolderBack);
    p.drawPolygon(poly({{6, 16}, {38, 16}, {46, 26}, {94, 26}, {94, 86}, {6, 86}}));
    p.setBrush(kFolderFront);
    p.drawPolygon(poly({{16, 40}, {98, 40}, {88, 86}, {6, 86}}));
}

void rotateLeft(QPainter& p) {
    p.setPen(QPen(kSteel, 5));
    p.setBrush(QColor(0xe8, 0xf1, 0xfb));
    p.drawRect(QRectF(38, 34, 24, 32));
    arcArrow(p, 38, -40, 230, kBlue, 11);
}

void rotateRight(QPainter& p) {
    p.setPen(QPen(kSteel, 5));
    p.setBrush(QColor(0xe8, 0xf1, 0xfb));
    p.drawRect(QRectF(38, 34, 24, 32));
    arcArrow(p, 38, 220, -230, kBlue, 11);
}

void rotateHalf(QPainter& p) {
    p.setPen(QPen(kSteel, 5));
    p.setBrush(QColor(0xe8, 0xf1, 0xfb));
    p.drawRect(QRectF(38, 34, 24, 32));
    arcArrow(p, 38, 180, -170, kBlue, 11);
    arcArrow(p, 38, 0, -170, kBlue.darker(120), 11);
}

void noRotation(QPainter& p) {
    p.setPen(QPen(kSteel, 7));
    p.setBrush(QColor(0xe8, 0xf1, 0xfb));
    p.drawRoundedRect(QRectF(28, 12, 44, 76), 5, 5);
    p.setPen(roundPen(kBlue, 8));
    p.drawLine(QPointF(50, 70), QPointF(50, 32));
    p.drawLine(QPointF(50, 30), QPointF(39, 42));
    p.drawLine(QPointF(50, 30), QPointF(61, 42));
}

void sameQuality(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawRoundedRect(QRectF(6, 6, 88, 88), 18, 18);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(24, 32, 52, 12), 4, 4);
    p.drawRoundedRect(QRectF(24, 56, 52, 12), 4, 4);
}

void success(QPainter& p) {
    disc(p, kGreen);
    p.setPen(roundPen(Qt::white, 15));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(poly({{26, 52}, {43, 69}, {75, 34}}));
}

void failure(QPainter& p) {
    disc(p, kRed);
    cross(p, 31, 15);
}

void incomplete(QPainter& p) {
    disc(p, kAmber);
    p.setPen(roundPen(Qt::white, 15));
    p.drawLine(QPointF(50, 24), QPointF(50, 56));
    p.drawPoint(QPointF(50, 76));
}

void home(QPainter& p) {
    p.setPen(QPen(kBrand.darker(130), 4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(22, 46, 56, 46));
    p.setBrush(kBrand);
    p.drawPolygon(poly({{8, 52}, {50, 12}, {92, 52}}));
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRect(QRectF(42, 64, 16, 28));
}

void brokenFilm(QPainter& p) {
    filmFrame(p, QRectF(6, 18, 88, 64), QColor(0x2b, 0x2b, 0x2b), QColor(0xee, 0xee, 0xee));
    p.setBrush(QColor(0x5a, 0x7a, 0x94));
    p.drawRect(QRectF(14, 32, 72, 36));
    // The crack runs across the whole strip.
    p.setBrush(Qt::white);
    p.drawPolygon(poly({{48, 14}, {58, 14}, {50, 36}, {60, 50}, {46, 66}, {54, 86}, {44, 86}, {36, 66}, {50, 50}, {40, 36}}));
}

void tools(QPainter& p) {
    p.save();
    p.translate(50, 50);
    p.rotate(-45);
    drawScrewdriver(p);
    p.restore();
    p.translate(50, 50);
    p.rotate(45);
    p.scale(0.9, 0.9);
    drawWrench(p, 3);
}

void previewPlaceholder(QPainter& p, int width, int height) {
    QLinearGradient shade(0, 0, 0, height);
    shade.setColorAt(0, QColor(0x24, 0x24, 0x24));
    shade.setColorAt(1, QColor(0x08, 0x08, 0x08));
    p.fillRect(QRectF(0, 0, width, height), shade);
    const qreal h = height * 0.5;
    const QRectF frame((width - h * 1.5) / 2, (height - h) / 2, h * 1.5, h);
    filmFrame(p, frame, QColor(0x3a, 0x3a, 0x3a), QColor(0x12, 0x12, 0x12));
    p.setBrush(QColor(0x80, 0x80, 0x80));
    const QPointF c = frame.center();
    const qreal s = h * 0.22;
    p.drawPolygon(poly({{c.x() - s * 0.8, c.y() - s}, {c.x() - s * 0.8, c.y() + s}, {c.x() + s, c.y()}}));
}

void formatBadge(QPainter& p, const QColor& colour, const QString& label) {
    QLinearGradient shade(0, 0, 0, 100);
    shade.setColorAt(0, colour.lighter(120));
    shade.setColorAt(1, colour.darker(115));
    p.setPen(QPen(colour.darker(150), 3));
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(4, 10, 92, 80), 14, 14);

    const QRectF box(10, 14, 80, 72);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    for (int size = 40; size > 8; --size) {
        font.setPixelSize(size);
        const QRectF needed = QFontMetricsF(font).boundingRect(box, Qt::AlignCenter, label);
        if (needed.width() <= box.width() && needed.height() <= box.height()) break;
    }
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(box, Qt::AlignCenter, label);
}

}  // namespace glyphs
