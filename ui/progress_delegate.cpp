#include "ui/progress_delegate.h"

#include <QPainter>
#include <QProgressBar>

#include <algorithm>

TreeViewDelegate::TreeViewDelegate(QObject* parent) : QItemDelegate(parent) {}

TreeViewDelegate::~TreeViewDelegate() = default;

int TreeViewDelegate::percentOf(const QModelIndex& index) {
    // A cell reads "0%" before its job first reports; toInt() makes that 0.
    return std::clamp(index.data(Qt::DisplayRole).toInt(), 0, 100);
}

QString TreeViewDelegate::barStyle(int percent) {
    const QString fill = QStringLiteral(
                             "background: qlineargradient(x1: 0, y1: 0.5, x2: 1, y2: 0.5, stop: 0.0 green, stop: %0 "
                             "white, stop: 1.0 white);")
                             .arg(QString::number(percent / 100.0));
    return QStringLiteral("QProgressBar {") + fill +
           QStringLiteral("border: 0px solid grey;border-radius: 5px;text-align: center;}") +
           QStringLiteral("QProgressBar::chunk {background: transparent;width: 10px;margin: 0.5px;}");
}

void TreeViewDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (index.column() != kProgressColumn) {
        // A selected row keeps its status colour (the list's highlight is light), so the row
        // the scheduler selects still shows whether it runs, succeeded or failed.
        QStyleOptionViewItem coloured(option);
        const QVariant foreground = index.data(Qt::ForegroundRole);
        if (foreground.canConvert<QBrush>())
            coloured.palette.setBrush(QPalette::HighlightedText, qvariant_cast<QBrush>(foreground));
        QItemDelegate::paint(painter, coloured, index);
        return;
    }
    const int percent = percentOf(index);
    if (!bar) bar = std::make_unique<QProgressBar>();
    bar->setStyleSheet(barStyle(percent));
    bar->resize(option.rect.size());
    bar->setRange(0, 100);
    bar->setValue(percent);
    bar->setAlignment(Qt::AlignCenter);

    painter->save();
    painter->translate(option.rect.topLeft());
    bar->render(painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    painter->restore();
}
