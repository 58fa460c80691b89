#include "ui/clickable_label.h"

#include <QMouseEvent>

mylabel::mylabel(QWidget* parent) : QLabel(parent) {}

void mylabel::mouseReleaseEvent(QMouseEvent* event) {
    emit clicked(this);
    event->accept();
}
