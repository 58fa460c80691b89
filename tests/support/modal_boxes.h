#pragma once
// Modal boxes in widget tests: a box that a slot opens with exec() blocks the test, so the test
// arms an answer first; a timer finds the box once it shows and presses its button.
#include <QMessageBox>
#include <QString>

namespace testsupport {

// What the answered box said.
struct AnsweredBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Watches for the next QMessageBox for up to `timeoutMs` and presses `button` (or its default
// button when the box has no such button). The result fills in once the box was answered.
class MessageBoxAnswer {
public:
    explicit MessageBoxAnswer(QMessageBox::StandardButton button = QMessageBox::Ok, int timeoutMs = 10000);
    ~MessageBoxAnswer();
    MessageBoxAnswer(const MessageBoxAnswer&) = delete;
    MessageBoxAnswer& operator=(const MessageBoxAnswer&) = delete;

    const AnsweredBox& box() const;

private:
    struct State;
    State* state_;
};

// Closes whatever modal dialog is active after `delayMs` (reject()), once; for dialogs that a
// slot runs with exec() and that the test does not otherwise drive.
void rejectNextModalDialog(int delayMs = 100);

}  // namespace testsupport
