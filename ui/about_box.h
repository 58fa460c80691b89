#pragma once
// The About box: what the program is, which version it is, and the Qt and FFmpeg libraries it
// really runs with (read from the libraries at run time, never written into the form). Its two
// links open the help page shipped with the program and the FFmpeg project's source archive.
#include <memory>

#include <QDialog>
#include <QUrl>

namespace Ui {
class aboutui;
}

class aboutui : public QDialog {
    Q_OBJECT

public:
    // Made with new: the box deletes itself when it is closed.
    explicit aboutui(QWidget* parent = nullptr);
    ~aboutui() override;

    // Where the FFmpeg link leads: the FFmpeg project's own source archive.
    static QUrl ffmpegSourceUrl();

private slots:
    void on_okButton_clicked();
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();

private:
    std::unique_ptr<Ui::aboutui> ui;
};

// The About action: a new box without parent, modal, shown without waiting.
aboutui* openAboutBox();
