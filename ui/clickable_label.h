#pragma once
// The window's information label: a QLabel that reports a click on it. The window shows the
// selected file's summary in it; nothing is connected to the click yet.
#include <QLabel>

class mylabel : public QLabel {
    Q_OBJECT
public:
    explicit mylabel(QWidget* parent = nullptr);

signals:
    void clicked(mylabel* click);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
