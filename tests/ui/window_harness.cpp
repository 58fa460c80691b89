#include "tests/ui/window_harness.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QSettings>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTest>
#include <QThread>

#include <thread>

#include "jobs/child_programs.h"
#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "tests/support/test_clips.h"
#include "ui/file_list_view.h"
#include "ui/main_window.h"
#include "ui/row_look.h"

namespace windowtest {

void freshSettings(bool firstStart) {
    QSettings store(QString::fromLatin1(kSettingsOrganisation), QString::fromLatin1(kSettingsApplication));
    store.clear();
    if (!firstStart) store.setValue(settingsKeys::firstlaunch, QStringLiteral("true"));
    store.sync();
}

QString storedText(const char* key) {
    return QSettings(QString::fromLatin1(kSettingsOrganisation), QString::fromLatin1(kSettingsApplication))
        .value(QString::fromLatin1(key))
        .toString();
}

bool isStored(const char* key) {
    return QSettings(QString::fromLatin1(kSettingsOrganisation), QString::fromLatin1(kSettingsApplication))
        .contains(QString::fromLatin1(key));
}

void store(const char* key, const QString& value) {
    QSettings(QString::fromLatin1(kSettingsOrganisation), QString::fromLatin1(kSettingsApplication))
        .setValue(QString::fromLatin1(key), value);
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

clsMyTree* listView(MainWindow& window) { return window.findChild<clsMyTree*>(); }

QStandardItemModel* listModel(MainWindow& window) {
    return qobject_cast<QStandardItemModel*>(listView(window)->model());
}

QString cell(MainWindow& window, int row, int column) {
    return listModel(window)->index(row, column).data().toString();
}

QColor cellColour(MainWindow& window, int row, int column) {
    return listModel(window)->index(row, column).data(Qt::ForegroundRole).value<QBrush>().color();
}

bool rowIconIs(MainWindow& window, int row, const QString& resource) {
    const QIcon shown = listModel(window)->index(row, ColumnFileName).data(Qt::DecorationRole).value<QIcon>();
    const QImage want = QIcon(resource).pixmap(16, 16).toImage();
    return !shown.isNull() && !want.isNull() && shown.pixmap(16, 16).toImage() == want;
}

QString countText(MainWindow& window) {
    for (QLabel* label : window.statusBar()->findChildren<QLabel*>())
        if (label->text().contains(QLatin1String("videos in list"))) return label->text();
    return {};
}

QList<QUrl> fileUrls(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    return urls;
}

void drop(MainWindow& window, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QWidget* target = listView(window)->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
}

bool dropAndWait(MainWindow& window, const QStringList& paths) {
    const int before = window.jobCount();
    drop(window, fileUrls(paths));
    return waitFor([&] { return window.jobCount() == before + paths.size() && !window.probingBusy(); });
}

void selectRow(MainWindow& window, int row) {
    listView(window)->selectionModel()->select(listModel(window)->index(row, ColumnFileName),
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QString uidOf(MainWindow& window, int row) { return QString::fromStdString(window.jobAt(row)->uid); }

void fromJobThread(const std::function<void()>& send) {
    std::thread worker(send);
    worker.join();
    QCoreApplication::processEvents();
}

int runningThreads(MainWindow& window) {
    int running = 0;
    for (int row = 0; row < window.jobCount(); ++row)
        if (window.jobAt(row)->QThread::isRunning()) ++running;
    return running + window.retiringJobCount();
}

QStringList clipCopies(const testsupport::TempDir& dir, const QStringList& names,
                       const testsupport::ClipSettings& settings) {
    const std::string source = testsupport::clip(settings);
    QStringList paths;
    if (source.empty()) return paths;
    const std::string bytes = testsupport::readFile(source);
    for (const QString& name : names) {
        const std::string path = dir.file(name.toStdString());
        testsupport::writeFile(path, bytes);
        paths << QString::fromStdString(path);
    }
    return paths;
}

FakeFfmpeg::FakeFfmpeg(const testsupport::TempDir& dir)
    : logPath_(dir.file("ffmpeg.log")), releaseDir_(dir.file("released")) {
    QDir().mkpath(QString::fromStdString(releaseDir_));
    const std::string script = dir.file("ffmpeg");
    testsupport::writeFile(script,
                           "#!/bin/sh\n"
                           "case \" $* \" in *\" -i \"*) ;; *) exit 0 ;; esac\n"
                           "input=''; output=''; previous=''\n"
                           "for argument in \"$@\"; do\n"
                           "  [ \"$previous\" = -i ] && input=$argument\n"
                           "  previous=$argument; output=$argument\n"
                           "done\n"
                           "name=$(basename \"$input\")\n"
                           "echo \"start $name\" >> '" + logPath_ + "'\n"
                           "while [ ! -e '" + releaseDir_ + "'/\"$name\" ]; do sleep 0.02; done\n"
                           "head -c 5000 /dev/zero > \"$output\"\n"
                           "echo \"end $name\" >> '" + logPath_ + "'\n");
    QFile::setPermissions(QString::fromStdString(script), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setChildProgramOverride(ChildProgram::Ffmpeg, QString::fromStdString(script));
}

FakeFfmpeg::~FakeFfmpeg() { setChildProgramOverride(ChildProgram::Ffmpeg, QString()); }

void FakeFfmpeg::release(const QString& inputName) const {
    testsupport::writeFile(releaseDir_ + "/" + inputName.toStdString(), "");
}

QStringList FakeFfmpeg::log() const {
    return QString::fromStdString(testsupport::readFile(logPath_)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace windowtest
