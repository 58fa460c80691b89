#pragma once
// The one way a picture made on a worker thread reaches a label: a queued call whose context
// is the label, so it runs on the label's (GUI) thread, where the QPixmap is made. Only the
// QImage crosses threads; a label destroyed before the call runs simply drops it.
#include <QImage>
#include <QString>

class QObject;

// Sets `picture` as the pixmap of `label` (a QLabel, or anything with a "pixmap" property).
void handPicture(QObject* label, const QImage& picture);
// Sets the picture stored at `resource` (a Qt resource path) as the pixmap of `label`.
void handResourcePicture(QObject* label, const QString& resource);
