// The window's file list: files come in by a drop or the Add action, a probe thread reads
// their stream details, and each file reported becomes a job with its row.
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <set>

#include "jobs/output_names.h"
#include "jobs/unit_file.h"
#include "jobs/video_details.h"
#include "ui/file_list_view.h"
#include "ui/job_list_model.h"
#include "ui/main_window.h"
#include "ui/row_look.h"
#include "ui_main_window.h"

namespace {

const char* const kRefusedLook = "QLabel {color : darkred; }";

// The name a refused path is told by; a folder dropped as ".../clips/" is "clips".
QString shownName(const QString& path) {
    const QString name = QFileInfo(QDir::cleanPath(path)).fileName();
    return name.isEmpty() ? path : name;
}

}  // namespace

// Only a regular file can hold a recording: a folder, a device or a FIFO never becomes a row,
// where it would only read as a damaged video. No row can tell of what was refused, so the
// information bar does.
QStringList MainWindow::regularFilesOnly(const QStringList& paths) {
    QStringList accepted, refused;
    for (const QString& path : paths) {
        if (isRegularFile(path))
            accepted << path;
        else
            refused << shownName(path);
    }
    if (!refused.isEmpty()) showRefusedFiles(refused);
    return accepted;
}

void MainWindow::showRefusedFiles(const QStringList& names) {
    ui->infoFile->setText(tr("Not added, not a regular file: %1").arg(names.join(QStringLiteral(", "))));
    ui->infoFile->setStyleSheet(QString::fromLatin1(kRefusedLook));
}

void MainWindow::OleDragDrop(const QMimeData* mimeData) {
    if (!mimeData) return;
    QStringList paths;
    if (mimeData->hasFormat(QStringLiteral("text/uri-list"))) {
        for (const QUrl& url : mimeData->urls()) {
            // Only files of this machine can be repaired; a web address has no local path.
            if (!url.isLocalFile()) continue;
            const QString path = url.toLocalFile();
            if (!path.isEmpty()) paths << path;
        }
    }
    probes.start(regularFilesOnly(paths), this);
}

void MainWindow::actionAdd_Clicked() {
    QFileDialog dialog(this, QString(), openPath,
                       tr("Video files (*.mp4 *.mov *.3gp *.3g2 *.dat *.avi *.flv *.wmv *.asf *.mkv *.mpg *.mpg2 "
                          "*.m4v *.mts *.vob *.m2ts *.ts *.mxf)"));
    dialog.setViewMode(QFileDialog::Detail);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    probes.start(regularFilesOnly(dialog.exec() ? dialog.selectedFiles() : QStringList()), this);
}

void MainWindow::startFindInfo() {
    ++probesRunning;
    ui->actionAdd->setEnabled(false);
    onstatus();
}

void MainWindow::endFindInfo() {
    probesRunning = std::max(0, probesRunning - 1);
    ui->actionAdd->setEnabled(!probingBusy());
    onstatus();
}

// Runs once per reported file while the event loop turns between the reports (each arrives
// as its own queued call), so the list grows visibly without re-entering the event loop here.
void MainWindow::FoundVideoDetails(const videoDetails& details) {
    // The file may have been swapped for a folder or removed while the probe read the ones before it.
    if (regularFilesOnly({details.FileName}).isEmpty()) return;
    const QFileInfo file(details.FileName);
    openPath = file.absolutePath();

    auto job = std::make_unique<unitFile>();
    job->sourcePath = details.FileName.toStdString();
    job->fileName = file.fileName().toStdString();
    job->uid = QUuid::createUuid().toString().toStdString();
    job->setPreviewShow(previewShow);
    // Only the shown row's repair paints live pictures; a new row is not shown yet.
    job->setSelected(false);
    job->setVideoDetails(details);
    connectJob(*job);

    const QString status =
        isUnreadableDuration(details.mDurationFormated) ? QStringLiteral("Corrupted - Unreadable") : tr("waiting");
    model->appendJob(std::move(job), status);
    onstatus();
    fitColumnsOnChange();
}

void MainWindow::connectJob(unitFile& job) {
    connect(&job, &unitFile::startDownload, this, &MainWindow::startDownloadFile);
    connect(&job, &unitFile::startConvert, this, &MainWindow::startConvertFile);
    connect(&job, &unitFile::endConvert, this, &MainWindow::endConvertFile);
    connect(&job, &unitFile::progressConvert, this, &MainWindow::progressConvertFile);
    connect(&job, &unitFile::repairStatusText, this, &MainWindow::repairStatusText);
    connect(&job, &unitFile::repairStatus, this, &MainWindow::repairStatus);
    connect(&job, &unitFile::endRepair, this, &MainWindow::endRepair);
    connect(&job, &unitFile::repairPicture, this, &MainWindow::repairPicture);
    unitFile* raw = &job;
    connect(raw, &QThread::finished, this, [this, raw] { jobThreadEnded(raw); });
}

void MainWindow::onstatus() {
    const QString tail = probingBusy() ? tr(" videos in list... Adding file") : tr(" videos in list  ");
    countLabel->setText(QStringLiteral("%1").arg(jobCount()) + tail);
}

std::vector<int> MainWindow::selectedRows() const {
    std::set<int> rows;
    for (const QModelIndex& index : fileListView->selectionModel()->selectedIndexes())
        if (index.column() == ColumnFileName && index.row() >= 0) rows.insert(index.row());
    return {rows.begin(), rows.end()};
}

void MainWindow::showSelectionWarning() {
    QMessageBox box(QMessageBox::Critical, tr("Warning"),
                    tr("Please select a video in the list before cliking on this option\n"), QMessageBox::NoButton,
                    nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.exec();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(ui->actionCancel_Selected);
    menu.addAction(ui->actionDelete_Selected);
    menu.addAction(ui->actionCancel_All);
    menu.addAction(ui->actionDelete_All);
    menu.addAction(ui->logAction);
    menu.exec(event->globalPos());
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Delete)) {
        actionDelete_Selected_clicked();
        return;
    }
    QMainWindow::keyPressEvent(event);
}
