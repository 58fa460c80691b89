#pragma once
// Driving the real window in widget tests: a clean settings store per test, drops as a file
// manager makes them, reading the list's cells, waiting on the event loop, and a stand-in for
// the ffmpeg tool whose conversions the test starts and ends.
#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <string>

#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"

class MainWindow;
class QStandardItemModel;
class clsMyTree;

namespace windowtest {

// Empties the settings store, then marks the first start as done (its help page would
// otherwise open) unless `firstStart`.
void freshSettings(bool firstStart = false);
QString storedText(const char* key);
bool isStored(const char* key);
void store(const char* key, const QString& value);

// Turns the event loop until `done` holds; false after `timeoutMs`.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 20000);

clsMyTree* listView(MainWindow& window);
QStandardItemModel* listModel(MainWindow& window);
QString cell(MainWindow& window, int row, int column);
QColor cellColour(MainWindow& window, int row, int column);
// Whether the FileName cell of `row` shows the picture at `resource`.
bool rowIconIs(MainWindow& window, int row, const QString& resource);
QString countText(MainWindow& window);

// Drops `urls` on the list as a file manager does (a drop event on the list's viewport).
void drop(MainWindow& window, const QList<QUrl>& urls);
QList<QUrl> fileUrls(const QStringList& paths);
// Drops the files and waits until their rows are listed and the probe has ended.
bool dropAndWait(MainWindow& window, const QStringList& paths);

void selectRow(MainWindow& window, int row);
// The uid of the job of `row`, as its signals carry it.
QString uidOf(MainWindow& window, int row);
// Sends as a job thread does (queued to the window), then lets the reports arrive.
void fromJobThread(const std::function<void()>& send);
// Jobs whose threads run, listed or retiring.
int runningThreads(MainWindow& window);

// A short healthy clip (of `settings`) copied under each of `names` into `dir`; their paths.
QStringList clipCopies(const testsupport::TempDir& dir, const QStringList& names,
                       const testsupport::ClipSettings& settings = {});

// Stands in for the ffmpeg tool for the lifetime of the object. It answers the encoder probe
// at once; a conversion notes "start <input name>" in its log, waits until the test releases
// that input, then writes an output of some size and notes "end <input name>". A conversion
// the job kills never notes its end.
class FakeFfmpeg {
public:
    explicit FakeFfmpeg(const testsupport::TempDir& dir);
    ~FakeFfmpeg();
    FakeFfmpeg(const FakeFfmpeg&) = delete;
    FakeFfmpeg& operator=(const FakeFfmpeg&) = delete;

    void release(const QString& inputName) const;
    QStringList log() const;
    int count(const QString& line) const { return log().count(line); }

private:
    std::string logPath_;
    std::string releaseDir_;
};

}  // namespace windowtest
