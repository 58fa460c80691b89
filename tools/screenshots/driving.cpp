#include "tools/screenshots/driving.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMimeData>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QTreeView>
#include <QUrl>
#include <QWidget>

#include "ui/file_list_view.h"
#include "ui/main_window.h"

namespace screenshots {

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

void settle(int ms) {
    waitUntil([] { return false; }, ms);
}

void dropFiles(MainWindow& window, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    window.OleDragDrop(&data);
}

bool waitForRows(MainWindow& window, int rows) {
    return waitUntil([&] { return window.jobCount() == rows && !window.probingBusy(); });
}

bool grab(QWidget& widget, const QString& path) {
    settle(300);  // the last paint reaches the X server
    QScreen* screen = widget.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen && screen->grabWindow(widget.winId()).save(path);
}

QString cellText(MainWindow& window, int row, int column) {
    auto* view = window.findChild<clsMyTree*>();
    if (!view) return {};
    return view->model()->index(row, column).data().toString();
}

}  // namespace screenshots
