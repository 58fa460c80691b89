#include "tests/support/opened_urls.h"

#include <QDesktopServices>
#include <QMutex>
#include <QMutexLocker>

namespace testsupport {
namespace {

QMutex& lock() {
    static QMutex m;
    return m;
}

QList<QUrl>& recorded() {
    static QList<QUrl> list;
    return list;
}

}  // namespace

void OpenedUrls::install() {
    static OpenedUrls handler;
    for (const char* scheme : {"file", "http", "https", "mailto"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &handler, "open");
}

QList<QUrl> OpenedUrls::urls() {
    QMutexLocker guard(&lock());
    return recorded();
}

void OpenedUrls::clear() {
    QMutexLocker guard(&lock());
    recorded().clear();
}

void OpenedUrls::open(const QUrl& url) {
    QMutexLocker guard(&lock());
    recorded().append(url);
}

}  // namespace testsupport
