#pragma once
// Files and folders that are not what a reader expects, made by tests at run time: a FIFO that
// nothing writes to, a folder nothing can be written into, and a limit that makes writes fail
// as on a full disk.
#include <sys/resource.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

// A FIFO at `path` that nothing writes to: opening it for reading waits until a writer comes.
// Code that wrongly opens it must not hang the test, so once `seconds` have passed the FIFO is
// opened for writing again and again (each opening lets a waiting reader go on, to an empty
// read) until the object goes; released() then tells that this was needed.
class FifoWatch {
public:
    FifoWatch(std::string path, double seconds);
    ~FifoWatch();
    FifoWatch(const FifoWatch&) = delete;
    FifoWatch& operator=(const FifoWatch&) = delete;

    bool made() const { return made_; }
    const std::string& path() const { return path_; }
    bool released() const { return released_; }

private:
    std::string path_;
    bool made_ = false;
    std::atomic<bool> released_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread watcher_;
};

// A folder in which no file can be created, for root too: root passes over permission bits, so
// under root the folder is made immutable instead. usable() is false (with why() telling the
// reason) where neither can be had, and the caller skips.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string path);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool usable() const { return usable_; }
    const std::string& why() const { return why_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool usable_ = false;
    bool immutable_ = false;
    std::string why_;
};

// A limit on the size of every file this process and the programs it starts write, for the
// object's lifetime; writes beyond it fail (EFBIG) as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

}  // namespace testsupport
