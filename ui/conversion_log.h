#pragma once
// The conversion log of one job: the ffmpeg command line and everything the tool wrote, under
// the converted file's name. The dialog holds a copy taken when it opened; it does not follow
// the job afterwards. Log and name are shown as plain text: a log line or a file name that
// looks like markup shows literally.
#include <memory>
#include <string>

#include <QDialog>

namespace Ui {
class logconversion;
}

class unitFile;

class logconversion : public QDialog {
    Q_OBJECT

public:
    // Made with new: the dialog deletes itself when it is closed.
    explicit logconversion(QWidget* parent = nullptr);
    ~logconversion() override;

    // Texts in UTF-8, passed through the translation of the "logconversion" context (which
    // returns a text it has no translation for unchanged).
    void setLog(const std::string& text);
    void setTitle(const std::string& text);

private:
    std::unique_ptr<Ui::logconversion> ui;
};

// The log of `job` as the list's "Conversion log" action opens it: a new dialog without parent,
// modal, shown without waiting. A job without a conversion yet shows an empty log and heading.
logconversion* openConversionLog(const unitFile& job);
