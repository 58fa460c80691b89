#include "tests/support/modal_boxes.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

namespace testsupport {

struct MessageBoxAnswer::State {
    QMessageBox::StandardButton button;
    AnsweredBox answered;
    QTimer timer;
    QElapsedTimer age;
    int timeoutMs;
};

MessageBoxAnswer::MessageBoxAnswer(QMessageBox::StandardButton button, int timeoutMs) : state_(new State) {
    state_->button = button;
    state_->timeoutMs = timeoutMs;
    state_->age.start();
    state_->timer.setInterval(20);
    State* s = state_;
    QObject::connect(&s->timer, &QTimer::timeout, [s] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible()) continue;
            s->answered.seen = true;
            s->answered.title = box->windowTitle();
            s->answered.text = box->text();
            s->answered.icon = box->icon();
            s->timer.stop();
            QAbstractButton* press = box->button(s->button);
            if (!press) press = static_cast<QAbstractButton*>(box->defaultButton());
            if (press) press->click();
            else box->reject();
            return;
        }
        if (s->age.elapsed() > s->timeoutMs) s->timer.stop();
    });
    state_->timer.start();
}

MessageBoxAnswer::~MessageBoxAnswer() { delete state_; }

const AnsweredBox& MessageBoxAnswer::box() const { return state_->answered; }

void rejectNextModalDialog(int delayMs) {
    QTimer::singleShot(delayMs, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
    });
}

}  // namespace testsupport
