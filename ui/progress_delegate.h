#pragma once
// Paints the Progress column of the file list as a bar: green up to the reached percentage,
// white after it, the percentage in its middle. The other columns paint as usual, in their
// row's colour also when the row is selected.
#include <QItemDelegate>

#include <memory>

class QProgressBar;

class TreeViewDelegate : public QItemDelegate {
    Q_OBJECT
public:
    static constexpr int kProgressColumn = 3;

    explicit TreeViewDelegate(QObject* parent = nullptr);
    ~TreeViewDelegate() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The percentage a Progress cell shows: its text read as a whole number, 0 when it is none,
    // held to 0..100.
    static int percentOf(const QModelIndex& index);
    // The bar's style for a percentage.
    static QString barStyle(int percent);

private:
    // One bar, restyled for each cell it paints; made on first use (a widget needs the
    // application object).
    mutable std::unique_ptr<QProgressBar> bar;
};
