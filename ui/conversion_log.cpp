#include "ui/conversion_log.h"

#include <QCoreApplication>

#include "jobs/unit_file.h"
#include "ui_conversion_log.h"

namespace {

QString translated(const std::string& text) {
    // The lookup reads its source up to the first NUL byte; a log holding one (a tool that wrote
    // binary bytes) is shown whole rather than cut there.
    if (text.find('\0') != std::string::npos) return QString::fromStdString(text);
    return QCoreApplication::translate("logconversion", text.c_str());
}

}  // namespace

logconversion::logconversion(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::logconversion>()) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
}

logconversion::~logconversion() = default;

void logconversion::setLog(const std::string& text) { ui->textEdit->setPlainText(translated(text)); }

void logconversion::setTitle(const std::string& text) { ui->lblTitle->setText(translated(text)); }

logconversion* openConversionLog(const unitFile& job) {
    auto* dialog = new logconversion();
    dialog->setLog(job.conversionLog.get());
    dialog->setTitle(job.conversionOutput.get());
    dialog->setModal(true);
    dialog->show();
    return dialog;
}
