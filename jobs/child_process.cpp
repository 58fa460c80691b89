#include "jobs/child_process.h"

#include <QDir>
#include <QProcess>

#include "mp4/diagnostic_log.h"

void LineSplitter::feed(const QByteArray& chunk) {
    std::size_t begin = 0;
    const std::size_t size = static_cast<std::size_t>(chunk.size());
    for (std::size_t i = 0; i < size; ++i) {
        const char c = chunk[static_cast<int>(i)];
        if (c != '\n' && c != '\r') continue;
        carry_.append(chunk.constData() + begin, i - begin);
        begin = i + 1;
        // "\r\n" and blank separators give no empty lines.
        if (!carry_.empty()) handler_(carry_);
        carry_.clear();
    }
    while (begin < size) {
        const std::size_t take = std::min(size - begin, kMaxLine - carry_.size());
        carry_.append(chunk.constData() + begin, take);
        begin += take;
        if (carry_.size() >= kMaxLine) {
            handler_(carry_);
            carry_.clear();
        }
    }
}

void LineSplitter::finish() {
    if (!carry_.empty()) handler_(carry_);
    carry_.clear();
}

ChildResult ChildProcessRunner::run(const QString& program, const QStringList& arguments,
                                    const LineHandler& onLine) const {
    ChildResult result;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    logDiagnostic(QStringLiteral("child %1 %2 in %3")
                      .arg(program, arguments.join(QLatin1Char(' ')), QDir::currentPath())
                      .toStdString());
    if (cancel_) {
        result.cancelled = true;
        return result;
    }
    process.start(program, arguments, QIODevice::ReadWrite);
    if (!process.waitForStarted()) {
        logDiagnostic(QStringLiteral("child could not start: %1 %2").arg(program, process.errorString()).toStdString());
        return result;
    }
    result.started = true;
    // No child reads from us: give it end of input at once.
    process.closeWriteChannel();

    LineSplitter lines([&](const std::string& line) {
        if (onLine) onLine(line);
    });
    while (process.state() != QProcess::NotRunning) {
        if (cancel_) {
            result.cancelled = true;
            process.kill();
            process.waitForFinished(5000);
            break;
        }
        // Every wait below also reads what the child wrote meanwhile into the process's
        // buffer, and waitForReadyRead waits only for output beyond it: what is held is
        // handed on before each wait, or it would sit there until the child speaks again.
        if (process.bytesAvailable() > 0) lines.feed(process.readAll());
        if (!process.waitForReadyRead(kPollMs) && process.state() != QProcess::NotRunning)
            process.waitForFinished(kPollMs);  // output closed but still running: do not spin
    }
    lines.feed(process.readAll());
    lines.finish();
    if (process.state() != QProcess::NotRunning) process.waitForFinished(30000);
    if (!result.cancelled) {
        result.exitedNormally = process.exitStatus() == QProcess::NormalExit;
        result.exitCode = process.exitCode();
    }
    return result;
}
