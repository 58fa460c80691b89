#pragma once
// The folder of one repair job's intermediates, made inside the output folder so that the
// repaired file leaves it by a rename. The job holds a lock on a file in it for as long as the
// folder lives. The system drops that lock when the process ends in any way, so a later job
// tells the folder of a job that was killed from that of one still running, in this process
// or another, and removes only the first.
#include <QString>

class WorkFolder {
public:
    // Makes a fresh ".repair-work-XXXXXX" folder in `parent`; isValid() is false when it cannot.
    explicit WorkFolder(const QString& parent);
    // Removes the folder with whatever is left in it.
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    bool isValid() const { return !path_.isEmpty(); }
    QString path() const { return path_; }

    // Removes the work folders in `parent` whose owner has ended; returns how many. A folder
    // whose lock is held, one without a lock file (still being made, or not ours) and anything
    // that is not a work folder are left alone.
    static int removeStale(const QString& parent);

    // The name pattern of work folders and the lock file each holds.
    static constexpr const char* kNamePrefix = ".repair-work-";
    static constexpr const char* kLockName = "owner.lock";

private:
    QString path_;
    int lock_ = -1;
};
