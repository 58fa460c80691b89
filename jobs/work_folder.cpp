#include "jobs/work_folder.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "jobs/output_names.h"

namespace {

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

// The lock of a folder's owner, taken without waiting: -1 while the owner lives (or when the
// folder has no lock file), else the descriptor that now holds it.
int takeAbandonedLock(const QString& folder) {
    const QByteArray lockPath = encoded(joinFolder(folder, WorkFolder::kLockName));
    const int fd = ::open(lockPath.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

WorkFolder::WorkFolder(const QString& parent) {
    QByteArray pattern = encoded(joinFolder(parent, QString(kNamePrefix) + "XXXXXX"));
    if (!::mkdtemp(pattern.data())) return;
    path_ = QFile::decodeName(pattern);
    // The lock file gets its name only once it is locked: a folder is never seen with a free
    // lock while its owner lives.
    const QByteArray fresh = encoded(joinFolder(path_, QString(kLockName) + ".new"));
    const int fd = ::open(fresh.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::rename(fresh.constData(), encoded(joinFolder(path_, kLockName)).constData()) == 0) {
        lock_ = fd;
        return;
    }
    // A file system without locks: the folder keeps no lock file, so no later job judges it,
    // and only this job removes it.
    if (fd >= 0) {
        ::close(fd);
        ::unlink(fresh.constData());
    }
}

WorkFolder::~WorkFolder() {
    // Removed while still locked, so no other job starts on it meanwhile.
    if (!path_.isEmpty()) QDir(path_).removeRecursively();
    if (lock_ >= 0) ::close(lock_);
}

int WorkFolder::removeStale(const QString& parent) {
    const QDir folder(parent);
    const QStringList names = folder.entryList({QString(kNamePrefix) + "*"},
                                               QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    int removed = 0;
    for (const QString& name : names) {
        const QString path = folder.filePath(name);
        const int lock = takeAbandonedLock(path);
        if (lock < 0) continue;
        if (QDir(path).removeRecursively()) ++removed;
        ::close(lock);
    }
    return removed;
}
