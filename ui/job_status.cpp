// The jobs' reports on their rows: each signal carries its job's uid, which names the row; a
// report whose row was removed meanwhile changes nothing.
#include <QDebug>
#include <QStandardItemModel>

#include "jobs/unit_file.h"
#include "jobs/video_information.h"
#include "ui/job_end.h"
#include "ui/main_window.h"
#include "ui/row_look.h"

int MainWindow::rowOfUid(const QString& uid) const {
    const std::string key = uid.toStdString();
    for (int row = 0; row < jobCount(); ++row)
        if (jobs[static_cast<std::size_t>(row)]->uid == key) return row;
    return -1;
}

void MainWindow::setCell(int row, int column, const QString& text) {
    const QModelIndex cell = model->index(row, column);
    model->setData(cell, text, Qt::DisplayRole);
    // In a narrow window the whole status is still a hover away.
    if (column == ColumnStatus) model->setData(cell, text, Qt::ToolTipRole);
}

void MainWindow::startDownloadFile(QString uid) {
    const int row = rowOfUid(uid);
    if (row < 0) return;
    setCell(row, ColumnStatus, tr("Prepare Repair..."));
    showRowLook(*model, row, RowLook::RepairStarting);
}

void MainWindow::startConvertFile(QString uid) {
    const int row = rowOfUid(uid);
    if (row < 0) return;
    setCell(row, ColumnStatus, tr("Prepare conversion..."));
    showRowLook(*model, row, RowLook::ConvertStarting);
}

void MainWindow::repairStatusText(QString uid, QString status) {
    // One job runs at a time, so the last text serves every row.
    lastStatusText = status;
    const int row = rowOfUid(uid);
    if (row < 0) return;
    showRowLook(*model, row, RowLook::Working);
    setCell(row, ColumnStatus, lastStatusText);
}

void MainWindow::repairStatus(QString uid, int percent) {
    const int row = rowOfUid(uid);
    if (row < 0) return;
    showRowLook(*model, row, RowLook::Working);
    setCell(row, ColumnProgress, QString::number(percent));
    setCell(row, ColumnStatus, lastStatusText + QStringLiteral(" ") + QString::number(percent) + QStringLiteral("%"));
}

void MainWindow::progressConvertFile(QString uid, int intFPS, int, int intTIME, int totalTime) {
    const int row = rowOfUid(uid);
    if (row < 0) return;
    if (row == currentRow) previewFollowsConversion(*jobAt(row), intTIME);
    showRowLook(*model, row, RowLook::Working);
    const int percent = totalTime < 1 ? 0 : static_cast<int>(static_cast<double>(intTIME) / totalTime * 100.0);
    setCell(row, ColumnProgress, QString::number(percent));
    setCell(row, ColumnStatus,
            videoInformation::formatDuration(intTIME) + QStringLiteral(" / ") +
                videoInformation::formatDuration(totalTime) + QStringLiteral(" (") +
                QString::asprintf("%.02d", intFPS) + QStringLiteral("fps)"));
}

void MainWindow::endConvertFile(QString uid, int status) {
    qDebug() << "EndConvertFile";
    const int row = rowOfUid(uid);
    unitFile* job = jobAt(row);
    // An end that arrives after its job was reset for a new run belongs to the old run.
    if (!job || !job->isDone) return;
    const bool repairedFileKept = job->isRepaired && !job->outputPath.get().empty();
    const JobEnd end = describeJobEnd(status, job->isRepair, repairedFileKept, job->repairOutcome);
    showRowLook(*model, row, end.look);
    setCell(row, ColumnStatus, end.statusText);
    if (end.resetsProgress) setCell(row, ColumnProgress, tr("0"));
    if (row == currentRow) previewShowsJobEnd(*job, status);
    qDebug() << "Exit EndConvertFile";
}

// The repair phase's end shows nothing on the row itself (the conversion phase reports next);
// the current row's preview moves on to the repaired file.
void MainWindow::endRepair(QString uid) {
    const int row = rowOfUid(uid);
    const unitFile* job = jobAt(row);
    if (job && row == currentRow) previewShowsRepairEnd(*job);
}

// Declared by the jobs and never sent by them.
void MainWindow::endDownloadFile(QString, int) {}
void MainWindow::progressDownloadFile(QString, double, double, int, double, double, double) {}
