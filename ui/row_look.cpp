#include "ui/row_look.h"

#include <QBrush>
#include <QIcon>
#include <QStandardItemModel>

#include <algorithm>
#include <iterator>

#include "ui/window_pictures.h"

namespace {

struct Look {
    RowLook look;
    const char* icon;  // null: the icon stays
    bool recolours;
    Qt::GlobalColor colour;
};

const Look kLooks[] = {
    {RowLook::Waiting, pictures::kLogo, true, Qt::black},
    {RowLook::RepairStarting, pictures::kRepairStarting, false, Qt::black},
    {RowLook::ConvertStarting, pictures::kConvertStarting, false, Qt::black},
    {RowLook::Working, nullptr, true, Qt::darkBlue},
    {RowLook::Succeeded, pictures::kSucceeded, true, Qt::darkGreen},
    {RowLook::Incomplete, pictures::kIncomplete, true, Qt::darkYellow},
    {RowLook::Failed, pictures::kFailed, true, Qt::darkRed},
};

const Look& lookOf(RowLook look) {
    return *std::find_if(std::begin(kLooks), std::end(kLooks), [look](const Look& l) { return l.look == look; });
}

}  // namespace

QString rowLookIcon(RowLook look) {
    const char* icon = lookOf(look).icon;
    return icon ? QString::fromLatin1(icon) : QString();
}

void showRowLook(QStandardItemModel& model, int row, RowLook look) {
    const Look& l = lookOf(look);
    if (l.icon) model.setData(model.index(row, ColumnFileName), QIcon(QString::fromLatin1(l.icon)), Qt::DecorationRole);
    if (l.recolours)
        for (int column : {ColumnFileName, ColumnStatus})
            model.setData(model.index(row, column), QBrush(l.colour), Qt::ForegroundRole);
}
