#include "ui/help_page.h"

#include <QCoreApplication>

QUrl helpPageUrl() {
    return QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/help/index.html"));
}
