#pragma once
// Catches QDesktopServices::openUrl for the whole test program: the URLs are recorded instead
// of starting a browser or a file manager.
#include <QList>
#include <QObject>
#include <QUrl>

namespace testsupport {

class OpenedUrls : public QObject {
    Q_OBJECT
public:
    // Registers the handler for every scheme the program opens (file, http, https, mailto).
    static void install();
    // What was opened since the last clear, in order.
    static QList<QUrl> urls();
    static void clear();

public slots:
    void open(const QUrl& url);
};

}  // namespace testsupport
