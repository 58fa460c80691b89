#pragma once
// Small tools for driving the window the way a person would, for the screenshot states.
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;
class MainWindow;

namespace screenshots {

// The input files scripts/screenshots made, by name, in the folder it names.
struct Inputs {
    QString folder;
    QString file(const QString& name) const { return folder + QLatin1Char('/') + name; }
};

// Turns the event loop until `done` holds or `timeoutMs` passes; whether it held.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000);
// Turns the event loop for `ms`.
void settle(int ms);

// Drops `paths` on the window's list as a file manager would.
void dropFiles(MainWindow& window, const QStringList& paths);
// Waits until the list holds `rows` rows and no probe runs.
bool waitForRows(MainWindow& window, int rows);

// Writes what the screen shows of `widget` (as the X server draws it) to `path`.
bool grab(QWidget& widget, const QString& path);

// The text of a list cell.
QString cellText(MainWindow& window, int row, int column);

}  // namespace screenshots
