#pragma once
// The program's own help page: a local HTML file shipped beside Vantorel (help/index.html in
// the program's folder). The window's first start, its status-bar link and the About box open
// it; nothing the program opens points to an outside address of ours.
#include <QUrl>

// The page as a file URL (QUrl::fromLocalFile, so "#" or spaces in the path stay part of it).
QUrl helpPageUrl();
