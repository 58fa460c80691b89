#include "ui/diagnostic_video.h"

#include <QFileInfo>
#include <QPalette>
#include <QStringListModel>
#include <QTime>

#include <iterator>

#include "analysis/diag_worker.h"
#include "ui_diagnostic_video.h"

namespace {

constexpr int kProgressSteps = 5;
// What the form's result labels say until the worker reports.
const QString kSearching = QStringLiteral("Searching...");

QString resolutionText(int width, int height) { return QString::number(width) + "x" + QString::number(height); }

}  // namespace

diagnosticvideo::diagnosticvideo(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::diagnosticvideo>()), logModel_(new QStringListModel(this)) {
    ui_->setupUi(this);
    QPalette white = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        white.setColor(group, QPalette::Window, Qt::white);
        white.setColor(group, QPalette::Base, Qt::white);
    }
    setPalette(white);
    ui_->listView->setModel(logModel_);
    ui_->listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    addLogLine(QStringLiteral("Diagnostic started"));
}

diagnosticvideo::~diagnosticvideo() { stopWorker(); }

QString diagnosticvideo::formatFileSize(qint64 bytes) {
    static const char* const kUnits[] = {"bytes", "KB", "MB", "GB", "TB"};
    float value = float(quint64(bytes));
    std::size_t unit = 0;
    while (value >= 1024.0f && unit + 1 < std::size(kUnits)) {
        value /= 1024.0f;
        ++unit;
    }
    return QString::number(double(value), 'f', 2) + " " + kUnits[unit];
}

void diagnosticvideo::addLogLine(const QString& text) {
    const int row = logModel_->rowCount();
    logModel_->insertRows(row, 1);
    logModel_->setData(logModel_->index(row), QTime::currentTime().toString(QStringLiteral("hh:mm:ss")) + " - " + text);
    ui_->listView->scrollToBottom();
}

void diagnosticvideo::startDiagnostic(const QString& path) {
    path_ = path;
    ui_->lblFilename->setText(path);
    const QFileInfo info(path);
    ui_->lblSize->setText(formatFileSize(info.exists() ? info.size() : 0));
    stopWorker();
    worker_ = std::make_unique<clsDiag>(path);
    clsDiag* w = worker_.get();
    connect(w, &clsDiag::startTypeFinder, this, &diagnosticvideo::startTypeFinder);
    connect(w, &clsDiag::endTypeFinder, this, &diagnosticvideo::endTypeFinder);
    connect(w, &clsDiag::startHeaderFinder, this, &diagnosticvideo::startHeaderFinder);
    connect(w, &clsDiag::endHeaderFinder, this, &diagnosticvideo::endHeaderFinder);
    connect(w, &clsDiag::startFindFrames, this, &diagnosticvideo::startFindFrames);
    connect(w, &clsDiag::infoScan, this, &diagnosticvideo::infoScan);
    connect(w, &clsDiag::infoScanProgress, this, &diagnosticvideo::infoScanProgress);
    connect(w, &clsDiag::InfoFoundFromDecode, this, &diagnosticvideo::InfoFoundFromDecode);
    connect(w, &clsDiag::InfoFoundCodec, this, &diagnosticvideo::InfoFoundCodec);
    // Queued behind the worker's last reports.
    connect(w, &QThread::finished, this, &diagnosticvideo::showWhatWasNotFound);
    w->setPreviewLabel(ui_->labelPreview);
    ui_->pbAnalysis->setMaximum(kProgressSteps);
    ui_->pbAnalysis->setValue(0);
    w->stopRequested = false;
    listening_ = true;
    w->start(QThread::InheritPriority);
}

void diagnosticvideo::stopWorker() {
    listening_ = false;
    if (!worker_) return;
    worker_->stopRequested = true;
    worker_->wait();
}

void diagnosticvideo::startTypeFinder() {
    if (!listening_) return;
    ui_->pbAnalysis->setValue(1);
    addLogLine(QStringLiteral("Try to find video type"));
}

void diagnosticvideo::endTypeFinder(const QString& videoType) {
    if (!listening_) return;
    if (!videoType.isEmpty()) {
        ui_->lblFileType->setText(videoType.toUpper());
        addLogLine("Video type found: " + videoType);
    } else {
        addLogLine(QStringLiteral("No Video type found yet..."));
        ui_->lblFileType->setText(QStringLiteral("Nothing found yet..."));
    }
}

void diagnosticvideo::startHeaderFinder() {
    if (!listening_) return;
    ui_->pbAnalysis->setValue(3);
    addLogLine(QStringLiteral("Try to find video informations"));
}

void diagnosticvideo::endHeaderFinder() {
    if (!listening_ || !worker_) return;
    // The header results are written before this signal and not again.
    const clsDiag& w = *worker_;
    ui_->pbAnalysis->setValue(4);
    if (!w.ftypFound) {
        addLogLine(QStringLiteral("FTYP Atom not found"));
    } else {
        addLogLine("FTYP Atom found at 0x" + QString::number(w.ftypOffset, 16));
        const QString brand = QString::fromStdString(w.brandText);
        addLogLine("Atom description: " + brand);
        if (w.videoTypeNow().empty()) ui_->lblFileType->setText(brand.toUpper());
    }
    if (w.mdatFound) addLogLine("MDAT Atom found at 0x" + QString::number(w.mdatOffset, 16));
    else addLogLine(QStringLiteral("MDAT Atom not found"));
    if (w.isHEVC) {
        addLogLine(QStringLiteral("HEVC video codec found"));
        ui_->lblCodec->setText(QStringLiteral("HEVC"));
    }
    if (w.isH264) {
        addLogLine(QStringLiteral("H.264 video codec found"));
        ui_->lblCodec->setText(QStringLiteral("H.264"));
    }
    if (w.foundParameterSets.empty()) {
        addLogLine(QStringLiteral("No resolution found yet..."));
        return;
    }
    for (const FoundParameterSet& set : w.foundParameterSets) {
        const QString resolution = resolutionText(set.width, set.height);
        addLogLine("Resolution found: " + resolution);
        ui_->lblResolution->setText(resolution);
    }
}

void diagnosticvideo::startFindFrames() {
    if (!listening_) return;
    ui_->pbAnalysis->setValue(5);
    addLogLine(QStringLiteral("Starting Frame analysis..."));
}

void diagnosticvideo::infoScan(const QString& inMsg) {
    if (listening_) addLogLine(inMsg);
}

void diagnosticvideo::infoScanProgress(int current, int max) {
    // No event processing here: the queued signals keep the window live, and a nested event
    // loop would run this slot inside itself.
    if (!listening_) return;
    ui_->pbAnalysis->setMaximum(max);
    ui_->pbAnalysis->setValue(current);
}

void diagnosticvideo::on_pushButton_clicked() {
    stopWorker();
    close();
}

void diagnosticvideo::on_diagnosticvideo_finished(int) { stopWorker(); }

void diagnosticvideo::InfoFoundFromDecode() {
    if (!listening_ || !worker_) return;
    const auto [width, height] = worker_->decodedSize();
    ui_->lblResolution->setText(resolutionText(width, height));
}

void diagnosticvideo::showWhatWasNotFound() {
    if (!listening_) return;
    for (QLabel* label : {ui_->lblFileType, ui_->lblCodec, ui_->lblResolution})
        if (label->text() == kSearching) label->setText(QStringLiteral("Not found"));
}

void diagnosticvideo::InfoFoundCodec(bool isHEVC) {
    if (!listening_) return;
    ui_->lblCodec->setText(isHEVC ? QStringLiteral("HEVC") : QStringLiteral("H.264"));
}

diagnosticvideo* openDiagnostic(const QString& path) {
    auto* dialog = new diagnosticvideo();
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->startDiagnostic(path);
    dialog->setModal(true);
    dialog->show();
    return dialog;
}
