// The dialogs the window opens: the About box, the conversion log of each selected row, the
// conversion settings of the chosen format and the diagnostic of the current row. Each is a new
// top-level dialog, modal, shown without waiting, that releases itself when closed.
#include <QComboBox>

#include "jobs/unit_file.h"
#include "ui/about_box.h"
#include "ui/conversion_log.h"
#include "ui/diagnostic_video.h"
#include "ui/main_window.h"
#include "ui/video_settings.h"
#include "ui_main_window.h"

void MainWindow::actionAbout_Clicked() { openAboutBox(); }

void MainWindow::logAction_clicked() {
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) {
        showSelectionWarning();
        return;
    }
    for (int row : rows)
        if (const unitFile* job = jobAt(row)) openConversionLog(*job);
}

void MainWindow::on_settingsButton_clicked() { openVideoSettings(ui->comboFormat->currentText()); }

void MainWindow::actionExit_clicked() {
    const unitFile* job = jobAt(currentRow);
    if (!job) {
        showSelectionWarning();
        return;
    }
    openDiagnostic(QString::fromStdString(job->sourcePath));
}
