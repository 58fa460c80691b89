#include "ui/file_list_view.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>

clsMyTree::clsMyTree(QWidget* parent) : QTreeView(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAcceptDrops(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRootIsDecorated(false);
    setAutoFillBackground(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A light highlight, on which the rows' status colours stay readable (the delegate keeps them).
    QPalette colours = palette();
    colours.setColor(QPalette::Highlight, QColor(0xcc, 0xe4, 0xf7));
    colours.setColor(QPalette::HighlightedText, Qt::black);
    setPalette(colours);
}

void clsMyTree::clear() { emit changed(); }

// The highlight shows that a drop here would be taken.
void clsMyTree::dragEnterEvent(QDragEnterEvent* event) {
    setBackgroundRole(QPalette::Highlight);
    event->acceptProposedAction();
}

void clsMyTree::dragMoveEvent(QDragMoveEvent* event) { event->acceptProposedAction(); }

void clsMyTree::dragLeaveEvent(QDragLeaveEvent* event) {
    setBackgroundRole(QPalette::Base);
    emit changed();
    event->accept();
}

void clsMyTree::dropEvent(QDropEvent* event) {
    setBackgroundRole(QPalette::Base);
    event->acceptProposedAction();
    emit changed(event->mimeData());
}
