// Selection and preview: the current row's summary in the information label and its picture
// in the preview label, the Preview switch, the slider, and the preview steps of the job
// reports. The previewer decodes on its own thread; everything here runs on the GUI thread.
#include <QDebug>
#include <QItemSelectionModel>
#include <QPixmap>
#include <QSignalBlocker>
#include <QSlider>

#include "jobs/previewer.h"
#include "jobs/unit_file.h"
#include "jobs/video_details.h"
#include "media/picture_seam.h"
#include "ui/clickable_label.h"
#include "ui/file_list_view.h"
#include "ui/job_list_model.h"
#include "ui/main_window.h"
#include "ui/row_look.h"
#include "ui_main_window.h"

namespace {

const char* const kPlainInformation = "QLabel {color : black; }";
const char* const kNoInformation = "...";

// The window's own moves of the slider are no request for another position.
void resetSlider(QSlider& slider) {
    const QSignalBlocker quiet(slider);
    slider.setValue(0);
}

}  // namespace

void MainWindow::closePreview() {
    if (previewWorker->isOpen()) previewWorker->closeFile();
}

void MainWindow::reopenPreview(const unitFile& job, PreviewOccasion occasion) {
    closePreview();
    previewWorker->isConverting = job.isConverting.load();
    previewWorker->setPosition(0);
    resetSlider(*ui->horizontalSlider);
    ui->horizontalSlider->setEnabled(true);
    QString file;
    switch (previewFileFor(occasion, previewJobState(job))) {
    case PreviewFile::Source:
        file = QString::fromStdString(job.sourcePath);
        break;
    case PreviewFile::Output:
        file = QString::fromStdString(job.outputPath.get());
        break;
    case PreviewFile::None:
        break;
    }
    if (!file.isEmpty()) previewWorker->openFile(file);
    if (previewWorker->isOpen()) previewWorker->showAt(0);
}

void MainWindow::showInformationPlain() { ui->infoFile->setStyleSheet(QString::fromLatin1(kPlainInformation)); }

void MainWindow::tellJobsSelected(int row) {
    for (int i = 0; i < jobCount(); ++i) model->jobAt(i)->setSelected(i == row);
}

void MainWindow::leaveCurrentRow() {
    currentRow = -1;
    qDebug() << "Select:" << currentRow;
    ui->infoFile->setText(QString::fromLatin1(kNoInformation));
    showInformationPlain();
    closePreview();
    // Queued behind any picture of the row that was shown, live repair pictures included.
    if (previewShow) handResourcePicture(ui->labelPreview, QString::fromLatin1(previewer::kDefaultPicture));
    // No job paints live pictures for a row that is no longer shown.
    tellJobsSelected(-1);
}

void MainWindow::selectRow(int row) {
    qDebug() << "selectionItemSearch method";
    const unitFile* job = jobAt(row);
    if (!job) {
        leaveCurrentRow();
        return;
    }
    currentRow = row;
    ui->infoFile->setText(job->details.mFileInformationResumed);
    if (previewShow) closePreview();
    if (!isUnreadableDuration(job->details.mDurationFormated)) showInformationPlain();
    ui->infoFile->setCursor(Qt::ArrowCursor);
    if (previewShow) reopenPreview(*job, PreviewOccasion::RowSelected);
    tellJobsSelected(row);
}

void MainWindow::mySelectionChanged(const QItemSelection& selected, const QItemSelection&) {
    qDebug() << "mySelectionChanged";
    closePreview();
    for (const QModelIndex& index : selected.indexes()) {
        if (index.column() != ColumnFileName || !jobAt(index.row())) continue;
        qDebug() << "Select:" << index.row();
        selectRow(index.row());
        return;
    }
    if (fileListView->selectionModel()->selectedIndexes().isEmpty()) leaveCurrentRow();
}

void MainWindow::on_checkPreview_stateChanged(int state) {
    if (initialising) return;
    resetSlider(*ui->horizontalSlider);
    previewShow = state == Qt::Checked;
    ui->horizontalSlider->setEnabled(previewShow);
    if (previewShow) {
        for (int row : selectedRows()) selectRow(row);
    } else {
        closePreview();
    }
    model->forEachJob([this](unitFile& job) { job.setPreviewShow(previewShow); });
}

// A percentage of the duration of the file the preview shows: the source, or the job's result,
// whose length may differ from the source's.
void MainWindow::on_horizontalSlider_valueChanged(int value) {
    if (!previewWorker->isOpen()) return;
    // Divided last, so a whole second stays whole (50 % of 4 s is 2 s, not 1.9999999 s, which
    // the previewer would truncate to 1 s).
    previewWorker->showAt(static_cast<float>(value * previewWorker->duration() / 100.0));
}

void MainWindow::on_horizontalSlider_sliderMoved(int) {}

void MainWindow::previewFollowsConversion(const unitFile& job, int seconds) {
    if (!previewWorker->isOpen()) return;
    previewWorker->isConverting = job.isConverting.load();
    // The conversion moves the preview; the slider has no say meanwhile.
    ui->horizontalSlider->setEnabled(false);
    resetSlider(*ui->horizontalSlider);
    previewWorker->showAt(static_cast<float>(seconds));
}

void MainWindow::previewShowsJobEnd(const unitFile& job, int status) {
    if (status != unitFile::kStatusOk) {
        closePreview();
        return;
    }
    // With Preview off the preview stays closed: the end of a job is no reason to show it.
    if (previewShow) reopenPreview(job, PreviewOccasion::ConversionSucceeded);
}

void MainWindow::previewShowsRepairEnd(const unitFile& job) {
    showInformationPlain();
    ui->infoFile->setCursor(Qt::ArrowCursor);
    if (previewShow) reopenPreview(job, PreviewOccasion::RepairEnded);
}

// The engine paints only while its job is the selected one with Preview on, but its pictures
// travel queued: by the time one arrives the row may have been deselected or removed, or
// Preview turned off, and then it is stale.
void MainWindow::repairPicture(QString uid, QImage picture) {
    if (!previewShow || currentRow < 0 || picture.isNull() || model->rowOf(uid) != currentRow) return;
    ui->labelPreview->setPixmap(QPixmap::fromImage(picture));
}
