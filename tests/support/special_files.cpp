#include "tests/support/special_files.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

namespace testsupport {

FifoWatch::FifoWatch(std::string path, double seconds) : path_(std::move(path)) {
    made_ = ::mkfifo(path_.c_str(), 0600) == 0;
    if (!made_) return;
    watcher_ = std::thread([this, seconds] {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        if (wake_.wait_until(lock, deadline, [this] { return stopping_; })) return;
        while (!stopping_) {
            // A writer that comes and goes: a reader waiting in open() goes on and reads nothing.
            const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                released_ = true;
                ::close(fd);
            }
            wake_.wait_for(lock, std::chrono::milliseconds(50), [this] { return stopping_; });
        }
    });
}

FifoWatch::~FifoWatch() {
    if (watcher_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        watcher_.join();
    }
    if (made_) ::unlink(path_.c_str());
}

namespace {

// Sets or clears the immutable attribute of the folder at `path`.
bool setImmutable(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

// True when a file can still be made in the folder.
bool takesNewFiles(const std::string& folder) {
    const std::string probe = folder + "/.write-probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

}  // namespace

ReadOnlyFolder::ReadOnlyFolder(std::string path) : path_(std::move(path)) {
    if (::mkdir(path_.c_str(), 0700) != 0) {
        why_ = "cannot make the folder";
        return;
    }
    if (::geteuid() == 0) {
        immutable_ = setImmutable(path_, true);
        if (!immutable_) why_ = "running as root on a file system without the immutable attribute";
    } else if (::chmod(path_.c_str(), 0500) != 0) {
        why_ = "cannot take the write permission away";
    }
    usable_ = why_.empty() && !takesNewFiles(path_);
    if (why_.empty() && !usable_) why_ = "files can still be made in the folder";
}

ReadOnlyFolder::~ReadOnlyFolder() {
    if (immutable_) setImmutable(path_, false);
    ::chmod(path_.c_str(), 0700);
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    // Ignored, the signal becomes a failed write; programs started meanwhile inherit both.
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
}

}  // namespace testsupport
