#pragma once
// The list view of the window's file list. Anything dragged over it is accepted; a drop hands
// its data to the window through `changed`, which reads the files out of it.
#include <QTreeView>

class QMimeData;

class clsMyTree : public QTreeView {
    Q_OBJECT
public:
    explicit clsMyTree(QWidget* parent = nullptr);

signals:
    // The dropped data; null when a drag left without dropping or the list was cleared.
    void changed(const QMimeData* mimeData = nullptr);

public slots:
    void clear();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};
