// The scheduler: Convert and Repair reset every job and start a 500 ms timer; each tick starts
// the first job that is ready, only while no job is busy, so that exactly one runs at a time.
// Cancelling and removing rows live here too.
#include <QDebug>
#include <QItemSelectionModel>
#include <QTimer>

#include <algorithm>

#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "ui/file_list_view.h"
#include "ui/job_list_model.h"
#include "ui/main_window.h"
#include "ui/reference_dialog.h"
#include "ui/row_look.h"
#include "ui_main_window.h"

namespace {
constexpr int kSchedulerIntervalMs = 500;
}  // namespace

// A job is busy until its thread has stopped: one that was cancelled and is still winding down
// counts, so that nothing starts beside it.
bool MainWindow::isBusy(const unitFile& job) const {
    return job.isConverting || job.isRunning || job.QThread::isRunning();
}

bool MainWindow::isEligible(const unitFile& job) const {
    return !job.QThread::isRunning() && !job.isDone && !job.isConverting && !job.isRunning && job.isUsable &&
           pendingResets.count(&job) == 0;
}

// Nothing more will happen to the job in this batch.
bool MainWindow::isSettled(const unitFile& job) const {
    return job.isDone && !job.QThread::isRunning() && pendingResets.count(&job) == 0;
}

void MainWindow::resetJob(int row, bool repair) {
    unitFile& job = *model->jobAt(row);
    if (job.QThread::isRunning()) {
        // Still ending after a cancel: clearing its cancel now would let the old run go on.
        pendingResets[&job] = repair;
        return;
    }
    job.setCancel(false);
    job.isDone = false;
    job.isConverting = false;
    job.isRunning = false;
    job.isRepair = repair;
    model->showLook(row, RowLook::Waiting);
    model->setProgress(row, tr("0"));
    model->setStatus(row, tr("waiting"));
}

void MainWindow::jobThreadEnded(unitFile* job) {
    const auto pending = pendingResets.find(job);
    if (pending == pendingResets.end()) return;
    const bool repair = pending->second;
    pendingResets.erase(pending);
    job->wait();  // the thread has emitted its last signal; this returns at once
    const int row = model->rowOf(QString::fromStdString(job->uid));
    if (row >= 0) resetJob(row, repair);
}

void MainWindow::showRunning(bool running) {
    ui->actionSettings->setEnabled(!running);
    ui->actionRepair->setEnabled(!running);
    ui->actionExit->setEnabled(!running);
    ui->actionCancel->setEnabled(running);
}

void MainWindow::startRun(bool repair) {
    if (jobCount() == 0) return;
    showRunning(true);
    for (int row = 0; row < jobCount(); ++row) resetJob(row, repair);
    timer->start(kSchedulerIntervalMs);
}

void MainWindow::actionSettings_Clicked() { startRun(false); }

void MainWindow::on_actionRepair_triggered() {
    if (jobCount() == 0) return;
    referenceDialog dialog;
    dialog.setModal(true);
    // Only "Repair Now!" starts a repair: Escape, the close box and Cancel leave the list alone,
    // whatever reference was stored before.
    if (dialog.exec() != QDialog::Accepted) return;
    if (settings->value(settingsKeys::referenceFile).toString().isEmpty()) return;
    startRun(true);
}

void MainWindow::checkClipBoard() {
    if (jobCount() > 0) {
        const bool busy = !retiringJobs.empty() || model->anyJob([this](const unitFile& job) { return isBusy(job); });
        if (!busy) {
            for (int row = 0; row < jobCount(); ++row) {
                unitFile& job = *model->jobAt(row);
                if (!isEligible(job)) continue;
                currentRow = row;
                job.start(QThread::InheritPriority);
                fileListView->selectionModel()->clearSelection();
                fileListView->selectionModel()->select(model->index(row, ColumnFileName),
                                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
                qDebug() << "Select:" << row;
                // A job started in this tick is not done in it, even one that has already ended
                // (a cancelled one ends at once): its end is still on its way to the row.
                return;
            }
        }
        if (model->anyJob([this](const unitFile& job) { return !isSettled(job); })) return;
    }
    timer->stop();
    showRunning(false);
}

void MainWindow::actionCancel_All_clicked() {
    model->forEachJob([](unitFile& job) {
        if (job.QThread::isRunning()) job.setCancel(true);
    });
    pendingResets.clear();
    timer->stop();
    showRunning(false);
}

void MainWindow::actionCancel_Selected_clicked() {
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) {
        showSelectionWarning();
        return;
    }
    for (int row : rows) {
        unitFile* job = jobAt(row);
        if (!job) continue;
        pendingResets.erase(job);
        job->setCancel(true);
    }
}

bool MainWindow::removeRow(int row) {
    std::unique_ptr<unitFile> job = model->takeJob(row);
    if (!job) return false;
    // The shown row went without the selection moving on (the list's selection model moves it
    // to a neighbour when it can): its picture and summary must not stay on show.
    if (currentRow == row)
        leaveCurrentRow();
    else if (currentRow > row)
        --currentRow;

    pendingResets.erase(job.get());
    // Nothing of the job reaches the window any more; a job that is still ending paints no
    // live picture into the preview.
    disconnect(job.get(), nullptr, this, nullptr);
    job->setSelected(false);
    job->setCancel(true);
    if (job->QThread::isRunning())
        retireJob(std::move(job));
    else
        job->wait();
    return true;
}

// The job leaves the list at once and ends in the background; it counts as busy until then,
// so the window never waits for a cancel to take effect.
void MainWindow::retireJob(std::unique_ptr<unitFile> job) {
    unitFile* raw = job.get();
    retiringJobs.push_back(std::move(job));
    connect(raw, &QThread::finished, this, [this, raw] { retiredJobEnded(raw); });
    // It may have ended before the connection was made.
    if (!raw->QThread::isRunning()) QTimer::singleShot(0, this, [this, raw] { retiredJobEnded(raw); });
}

void MainWindow::retiredJobEnded(unitFile* job) {
    const auto it = std::find_if(retiringJobs.begin(), retiringJobs.end(),
                                 [job](const auto& retired) { return retired.get() == job; });
    if (it == retiringJobs.end()) return;
    (*it)->wait();
    retiringJobs.erase(it);
}

void MainWindow::actionDelete_All_clicked() {
    while (model->rowCount() > 0 && removeRow(0)) {
    }
    onstatus();
}

void MainWindow::actionDelete_Selected_clicked() {
    const std::vector<int> rows = selectedRows();
    qDebug() << "rows to delete:" << rows.size();
    if (rows.empty()) showSelectionWarning();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = rows[i] - static_cast<int>(i);
        qDebug() << "index:" << row;
        removeRow(row);
    }
    if (!rows.empty() && model->rowCount() > 0) {
        const int at = std::min(rows.back(), model->rowCount() - 1);
        fileListView->setCurrentIndex(model->index(at, ColumnFileName));
    }
    onstatus();
}

void MainWindow::removeAllRows() {
    while (model->rowCount() > 0 && removeRow(0)) {
    }
    onstatus();
    leaveCurrentRow();
}

void MainWindow::on_actionClear_triggered() { removeAllRows(); }
