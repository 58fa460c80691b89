#include "ui/job_list_model.h"

#include <QIcon>

#include "jobs/unit_file.h"
#include "ui/window_pictures.h"

JobListModel::JobListModel(QObject* parent) : QStandardItemModel(0, ColumnCount, parent) {}

// The jobs go with their rows; the window has waited for their threads before.
JobListModel::~JobListModel() = default;

void JobListModel::appendJob(std::unique_ptr<unitFile> job, const QString& status) {
    const QString uid = QString::fromStdString(job->uid);
    auto* name = new QStandardItem(QIcon(QString::fromLatin1(pictures::kLogo)), QString::fromStdString(job->fileName));
    name->setData(uid, kUidRole);
    QList<QStandardItem*> cells{name, new QStandardItem(job->details.mDurationFormated), new QStandardItem(status),
                                new QStandardItem(QStringLiteral("0%"))};
    for (QStandardItem* cell : cells) cell->setEditable(false);
    cells[ColumnStatus]->setToolTip(status);
    // The job is known before the row exists, so whatever hears of the new row finds it.
    Entry& entry = entries_[uid];
    entry.job = std::move(job);
    appendRow(cells);
    entry.cell = QPersistentModelIndex(indexFromItem(name));
}

std::unique_ptr<unitFile> JobListModel::takeJob(int row) {
    const Entry* found = entryAt(row);
    if (!found) return nullptr;
    const QString uid = QString::fromStdString(found->job->uid);
    removeRows(row, 1);
    const auto it = entries_.find(uid);
    std::unique_ptr<unitFile> job = std::move(it->second.job);
    entries_.erase(it);
    return job;
}

const JobListModel::Entry* JobListModel::entryAt(int row) const {
    const QModelIndex cell = index(row, ColumnFileName);
    if (!cell.isValid()) return nullptr;
    const auto it = entries_.find(cell.data(kUidRole).toString());
    return it == entries_.end() ? nullptr : &it->second;
}

JobListModel::Entry* JobListModel::entryAt(int row) {
    return const_cast<Entry*>(static_cast<const JobListModel*>(this)->entryAt(row));
}

unitFile* JobListModel::jobAt(int row) const {
    const Entry* entry = entryAt(row);
    return entry ? entry->job.get() : nullptr;
}

int JobListModel::rowOf(const QString& uid) const {
    const auto it = entries_.find(uid);
    return it == entries_.end() || !it->second.cell.isValid() ? -1 : it->second.cell.row();
}

void JobListModel::forgetProgress(int row) {
    if (Entry* entry = entryAt(row)) entry->progressShown = false;
}

void JobListModel::writeCell(int row, int column, const QString& text) {
    const QModelIndex cell = index(row, column);
    setData(cell, text, Qt::DisplayRole);
    if (column == ColumnStatus) setData(cell, text, Qt::ToolTipRole);
}

void JobListModel::showLook(int row, RowLook look) {
    forgetProgress(row);
    showRowLook(*this, row, look);
}

void JobListModel::setStatus(int row, const QString& text) {
    forgetProgress(row);
    writeCell(row, ColumnStatus, text);
}

void JobListModel::setProgress(int row, const QString& text) {
    forgetProgress(row);
    writeCell(row, ColumnProgress, text);
}

void JobListModel::showProgress(int row, int percent, const QString& status) {
    Entry* entry = entryAt(row);
    if (!entry) return;
    if (entry->progressShown && entry->percent == percent && entry->status == status) return;
    showRowLook(*this, row, RowLook::Working);
    writeCell(row, ColumnProgress, QString::number(percent));
    writeCell(row, ColumnStatus, status);
    entry->progressShown = true;
    entry->percent = percent;
    entry->status = status;
}
