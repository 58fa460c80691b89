#pragma once
// Running one child program to its end on the calling thread, reading its merged output
// line by line. The caller's cancel flag is tested on every pass of a short poll, so a cancel
// ends even a silent child within a fraction of a second; the process object never leaves
// the thread that runs it.
#include <atomic>
#include <functional>
#include <string>

#include <QByteArray>
#include <QString>
#include <QStringList>

// Splits output into lines at "\n" and at "\r" (ffmpeg ends each progress report with "\r"),
// carrying a partial line over to the next chunk. A line that grows past kMaxLine bytes is
// handed over in pieces, so a child that never ends a line cannot make it grow without bound.
class LineSplitter {
public:
    using Handler = std::function<void(const std::string& line)>;
    static constexpr std::size_t kMaxLine = 64 * 1024;

    explicit LineSplitter(Handler handler) : handler_(std::move(handler)) {}
    void feed(const QByteArray& chunk);
    void finish();  // hands over what is left behind the last line end

private:
    Handler handler_;
    std::string carry_;
};

struct ChildResult {
    bool started = false;
    bool cancelled = false;
    bool exitedNormally = false;  // ended by itself, not killed or crashed
    int exitCode = -1;

    bool succeeded() const { return started && !cancelled && exitedNormally && exitCode == 0; }
};

class ChildProcessRunner {
public:
    using LineHandler = std::function<void(const std::string& line)>;

    // `cancel` is the job's flag; it outlives the runner.
    explicit ChildProcessRunner(const std::atomic<bool>& cancel) : cancel_(cancel) {}

    // Starts `program` with `arguments` (no shell) and waits until it ends or the cancel flag
    // is seen, which kills it. Lines go to `onLine` when given; otherwise output is drained
    // and dropped.
    ChildResult run(const QString& program, const QStringList& arguments, const LineHandler& onLine = nullptr) const;

    // How long one pass waits for output before testing the cancel flag again.
    static constexpr int kPollMs = 100;

private:
    const std::atomic<bool>& cancel_;
};
