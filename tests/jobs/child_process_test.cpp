// The child-process runner against small programs written by the tests.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <atomic>
#include <thread>

#include "jobs/child_process.h"
#include "tests/jobs/job_harness.h"
#include "tests/support/test_files.h"
#include "tests/support/test_timing.h"

using namespace testsupport;
using jobtest::writeScript;

namespace {

std::vector<std::string> collect(const std::vector<QByteArray>& chunks) {
    std::vector<std::string> lines;
    LineSplitter splitter([&](const std::string& line) { lines.push_back(line); });
    for (const QByteArray& c : chunks) splitter.feed(c);
    splitter.finish();
    return lines;
}

}  // namespace

TEST(LineSplitter, SplitsOnBothLineEndsAndCarriesPartialLines) {
    struct Case {
        const char* name;
        std::vector<QByteArray> chunks;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"newlines", {"a\nb\n"}, {"a", "b"}},
        {"carriage returns", {"frame=1\rframe=2\r"}, {"frame=1", "frame=2"}},
        {"crlf gives no blank lines", {"a\r\nb\r\n"}, {"a", "b"}},
        {"split across reads", {"fra", "me=1\rfr", "ame=2\n"}, {"frame=1", "frame=2"}},
        {"tail without line end", {"a\nlast"}, {"a", "last"}},
    };
    for (const Case& c : cases) EXPECT_EQ(collect(c.chunks), c.lines) << c.name;
}

TEST(LineSplitter, BoundsAnEndlessLine) {
    std::vector<std::size_t> sizes;
    LineSplitter splitter([&](const std::string& line) { sizes.push_back(line.size()); });
    const QByteArray block(10000, 'x');
    for (int i = 0; i < 20; ++i) splitter.feed(block);
    splitter.finish();
    ASSERT_FALSE(sizes.empty());
    std::size_t total = 0;
    for (std::size_t s : sizes) {
        EXPECT_LE(s, LineSplitter::kMaxLine);
        total += s;
    }
    EXPECT_EQ(total, 200000u);
}

TEST(ChildProcessRunner, ReadsMergedOutputAndExitCode) {
    TempDir dir;
    const QString program = writeScript(dir, "talk.sh", "echo out; echo err 1>&2; printf 'p1\\rp2'; exit 3\n");
    std::atomic<bool> cancel{false};
    std::vector<std::string> lines;
    ChildResult r = ChildProcessRunner(cancel).run(program, {}, [&](const std::string& l) { lines.push_back(l); });
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.exitedNormally);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_FALSE(r.succeeded());
    EXPECT_EQ(lines, (std::vector<std::string>{"out", "err", "p1", "p2"}));
}

TEST(ChildProcessRunner, PassesArgumentsWithoutAShell) {
    TempDir dir;
    const QString program = writeScript(dir, "args.sh", "for a in \"$@\"; do echo \"[$a]\"; done\n");
    std::atomic<bool> cancel{false};
    std::vector<std::string> lines;
    ChildProcessRunner(cancel).run(program, {"-name with blanks", "$HOME", "a;b"},
                                   [&](const std::string& l) { lines.push_back(l); });
    EXPECT_EQ(lines, (std::vector<std::string>{"[-name with blanks]", "[$HOME]", "[a;b]"}));
}

TEST(ChildProcessRunner, MissingProgramIsNotStarted) {
    TempDir dir;
    std::atomic<bool> cancel{false};
    ChildResult r = ChildProcessRunner(cancel).run(QString::fromStdString(dir.file("absent")), {});
    EXPECT_FALSE(r.started);
    EXPECT_FALSE(r.succeeded());
}

TEST(ChildProcessRunner, CancelEndsAChildWithinASecond) {
    struct Case {
        const char* name;
        const char* body;
    };
    const Case cases[] = {
        {"silent", "exec sleep 30\n"},
        {"output closed, still running", "exec >/dev/null 2>&1\nexec sleep 30\n"},
        {"shell waiting on its own child", "sleep 30\n"},
        {"endless output", "while :; do echo frame=1; done\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const QString program = writeScript(dir, "child.sh", c.body);
        std::atomic<bool> cancel{false};
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            cancel = true;
        });
        QElapsedTimer timer;
        timer.start();
        ChildResult r = ChildProcessRunner(cancel).run(program, {}, [](const std::string&) {});
        canceller.join();
        EXPECT_TRUE(r.cancelled);
        EXPECT_FALSE(r.succeeded());
        EXPECT_LT(timer.elapsed(), timeBoundMs(1300));
    }
}

// A child that prints between pauses and then says nothing for seconds, as a conversion
// does: each line (ended by "\n" or by ffmpeg's "\r") reaches the handler as it is printed,
// not when the next output comes or the child ends. Each line carries the wall-clock time
// at which the child printed it.
TEST(ChildProcessRunner, HandsEveryLineOnAsItArrives) {
    TempDir dir;
    const QString program = writeScript(dir, "pauses.sh",
                                        "stamp() { date +%s%3N; }\n"
                                        "sleep 0.15; echo \"$(stamp)\"\n"
                                        "sleep 1.2; printf '%s\\r' \"$(stamp)\"\n"
                                        "sleep 0.3; echo \"$(stamp)\"\n"
                                        "sleep 2; echo \"$(stamp)\"\n"
                                        "sleep 1.5\n");
    std::atomic<bool> cancel{false};
    std::vector<long long> lateness;
    const ChildResult r = ChildProcessRunner(cancel).run(program, {}, [&](const std::string& line) {
        lateness.push_back(QDateTime::currentMSecsSinceEpoch() - std::stoll(line));
    });
    EXPECT_TRUE(r.succeeded());
    ASSERT_EQ(lateness.size(), 4u);
    for (std::size_t i = 0; i < lateness.size(); ++i)
        EXPECT_LT(lateness[i], timeBoundMs(200)) << "line " << i << " came " << lateness[i] << " ms late";
}

TEST(ChildProcessRunner, CancelSetBeforeTheStartRunsNothing) {
    TempDir dir;
    const std::string marker = dir.file("ran");
    const QString program = writeScript(dir, "touch.sh", "touch '" + marker + "'\n");
    std::atomic<bool> cancel{true};
    ChildResult r = ChildProcessRunner(cancel).run(program, {});
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(fileExists(marker));
}

TEST(ChildProcessRunner, QuickChildCostsNoFixedPause) {
    TempDir dir;
    const QString program = writeScript(dir, "quick.sh", "exit 0\n");
    std::atomic<bool> cancel{false};
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(ChildProcessRunner(cancel).run(program, {}).succeeded());
    EXPECT_LT(timer.elapsed(), timeBoundMs(800));
}

TEST(ChildProcessRunner, ReadsFiveMegabytesOfOutputToTheEnd) {
    TempDir dir;
    // 5 MB: 80,000 lines of 64 characters plus the line end, then a marker after a pause.
    const QString program = writeScript(dir, "flood.sh",
                                    "head -c 5200000 /dev/zero | tr '\\0' 'y' | fold -w 64\n"
                                    "echo; echo last line\n");
    std::atomic<bool> cancel{false};
    std::size_t bytes = 0;
    std::string last;
    ChildResult r = ChildProcessRunner(cancel).run(program, {}, [&](const std::string& l) {
        bytes += l.size();
        last = l;
    });
    EXPECT_TRUE(r.succeeded());
    EXPECT_EQ(bytes, 5200000u + 9u);
    EXPECT_EQ(last, "last line");
}
