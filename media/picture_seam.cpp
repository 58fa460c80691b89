#include "media/picture_seam.h"

#include <QMetaObject>
#include <QObject>
#include <QPixmap>
#include <QVariant>

namespace {

// Through the meta-object, so this library needs no widgets: QLabel's "pixmap" property.
void setPixmap(QObject* label, const QPixmap& pixmap) { label->setProperty("pixmap", QVariant::fromValue(pixmap)); }

}  // namespace

void handPicture(QObject* label, const QImage& picture) {
    if (!label) return;
    QMetaObject::invokeMethod(
        label, [label, picture] { setPixmap(label, QPixmap::fromImage(picture)); }, Qt::QueuedConnection);
}

void handResourcePicture(QObject* label, const QString& resource) {
    if (!label) return;
    QMetaObject::invokeMethod(
        label, [label, resource] { setPixmap(label, QPixmap(resource)); }, Qt::QueuedConnection);
}
