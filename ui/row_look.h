#pragma once
// How a row of the file list looks in each phase of its job: the icon of the FileName column
// and the colour of the FileName and Status columns, decided in one table.
#include <QString>

class QStandardItemModel;

enum class RowLook {
    Waiting,          // listed or reset for a run: the logo, black
    RepairStarting,   // the repair phase began: the repair icon
    ConvertStarting,  // the conversion phase began: the conversion icon
    Working,          // progress is coming in: dark blue
    Succeeded,        // the job ended well: the success icon, dark green
    Incomplete,       // a result was kept that lacks part of what was asked: the warning icon, dark yellow
    Failed,           // the job ended badly: the error icon, dark red
};

// The columns of the file list.
enum FileListColumn { ColumnFileName = 0, ColumnDuration = 1, ColumnStatus = 2, ColumnProgress = 3, ColumnCount = 4 };

// Gives `row` of `model` the icon and colour of `look`; parts a look leaves alone stay.
void showRowLook(QStandardItemModel& model, int row, RowLook look);

// The icon resource of `look`; empty for a look that keeps the icon.
QString rowLookIcon(RowLook look);
