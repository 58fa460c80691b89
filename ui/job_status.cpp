// The jobs' reports on their rows: each signal carries its job's uid, which names the row; a
// report whose row was removed meanwhile changes nothing.
#include <QDebug>

#include "jobs/unit_file.h"
#include "jobs/video_information.h"
#include "ui/job_end.h"
#include "ui/job_list_model.h"
#include "ui/main_window.h"
#include "ui/row_look.h"

void MainWindow::startDownloadFile(QString uid) {
    const int row = model->rowOf(uid);
    if (row < 0) return;
    model->setStatus(row, tr("Prepare Repair..."));
    model->showLook(row, RowLook::RepairStarting);
}

void MainWindow::startConvertFile(QString uid) {
    const int row = model->rowOf(uid);
    if (row < 0) return;
    model->setStatus(row, tr("Prepare conversion..."));
    model->showLook(row, RowLook::ConvertStarting);
}

void MainWindow::repairStatusText(QString uid, QString status) {
    // One job runs at a time, so the last text serves every row.
    lastStatusText = status;
    const int row = model->rowOf(uid);
    if (row < 0) return;
    model->showLook(row, RowLook::Working);
    model->setStatus(row, lastStatusText);
}

void MainWindow::repairStatus(QString uid, int percent) {
    const int row = model->rowOf(uid);
    if (row < 0) return;
    model->showProgress(row, percent,
                        lastStatusText + QStringLiteral(" ") + QString::number(percent) + QStringLiteral("%"));
}

void MainWindow::progressConvertFile(QString uid, int intFPS, int, int intTIME, int totalTime) {
    const int row = model->rowOf(uid);
    if (row < 0) return;
    if (row == currentRow) previewFollowsConversion(*jobAt(row), intTIME);
    const int percent = totalTime < 1 ? 0 : static_cast<int>(static_cast<double>(intTIME) / totalTime * 100.0);
    model->showProgress(row, percent,
                        videoInformation::formatDuration(intTIME) + QStringLiteral(" / ") +
                            videoInformation::formatDuration(totalTime) + QStringLiteral(" (") +
                            QString::asprintf("%.02d", intFPS) + QStringLiteral("fps)"));
}

void MainWindow::endConvertFile(QString uid, int status) {
    qDebug() << "EndConvertFile";
    const int row = model->rowOf(uid);
    unitFile* job = jobAt(row);
    // An end that arrives after its job was reset for a new run belongs to the old run.
    if (!job || !job->isDone) return;
    const bool repairedFileKept = job->isRepaired && !job->outputPath.get().empty();
    const JobEnd end = describeJobEnd(status, job->isRepair, repairedFileKept, job->repairOutcome);
    model->showLook(row, end.look);
    model->setStatus(row, end.statusText);
    if (end.resetsProgress) model->setProgress(row, tr("0"));
    if (row == currentRow) previewShowsJobEnd(*job, status);
    qDebug() << "Exit EndConvertFile";
}

// The repair phase's end shows nothing on the row itself (the conversion phase reports next);
// the current row's preview moves on to the repaired file.
void MainWindow::endRepair(QString uid) {
    const int row = model->rowOf(uid);
    const unitFile* job = jobAt(row);
    if (job && row == currentRow) previewShowsRepairEnd(*job);
}
