#pragma once
// The window's file list: one row per listed video, and the job of each row, owned here. Every
// row keeps its job's uid in kUidRole, and the jobs are held by uid, so a row always names its
// own job, however rows come and go, and a report carrying a uid finds its row in one lookup.
// The cells are written only through the operations below, which decide the texts' roles once.
#include <QPersistentModelIndex>
#include <QStandardItemModel>
#include <QString>

#include <memory>
#include <unordered_map>

#include "ui/row_look.h"

class unitFile;

class JobListModel : public QStandardItemModel {
    Q_OBJECT
public:
    // The role of a row's FileName cell that holds the uid of the row's job, as its signals carry it.
    static constexpr int kUidRole = Qt::UserRole + 1;

    explicit JobListModel(QObject* parent = nullptr);
    ~JobListModel() override;

    // Lists `job` in a new last row: the logo and its file name, its duration text, `status`
    // and no progress. The job's uid must be unique in the list.
    void appendJob(std::unique_ptr<unitFile> job, const QString& status);
    // Removes `row` and hands its job over; null when there is no such row. Views and the
    // selection hear of the removal while the row still names its job.
    std::unique_ptr<unitFile> takeJob(int row);

    int jobCount() const { return rowCount(); }
    // The job of `row`; null when no such row is listed.
    unitFile* jobAt(int row) const;
    // The row of the job with `uid`; -1 when none is listed (its row was removed meanwhile).
    int rowOf(const QString& uid) const;

    // Calls `visit` with every listed job, in row order.
    template <typename Visit>
    void forEachJob(Visit&& visit) const {
        for (int row = 0; row < rowCount(); ++row)
            if (unitFile* job = jobAt(row)) visit(*job);
    }
    template <typename Test>
    bool anyJob(Test&& test) const {
        for (int row = 0; row < rowCount(); ++row)
            if (const unitFile* job = jobAt(row); job && test(*job)) return true;
        return false;
    }

    void showLook(int row, RowLook look);
    // The Status cell; in a narrow window the whole text is still a hover away.
    void setStatus(int row, const QString& text);
    void setProgress(int row, const QString& text);
    // A progress report: the working look, `percent` in Progress and `status` in Status. A
    // report that repeats the row's last one, with nothing written to the row in between,
    // changes nothing: the jobs report the same percentage many times over.
    void showProgress(int row, int percent, const QString& status);

private:
    struct Entry {
        std::unique_ptr<unitFile> job;
        QPersistentModelIndex cell;  // the row's FileName cell; follows the row when rows above it go
        // The last progress report shown on the row; cleared by any other write to the row.
        bool progressShown = false;
        int percent = 0;
        QString status;
    };

    const Entry* entryAt(int row) const;
    Entry* entryAt(int row);
    // Any write but a progress report's makes the next report new again.
    void forgetProgress(int row);
    void writeCell(int row, int column, const QString& text);

    std::unordered_map<QString, Entry> entries_;  // by uid
};
