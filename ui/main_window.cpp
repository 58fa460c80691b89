// The window's construction and destruction, its output settings, the status bar and the
// column widths of the file list.
#include "ui/main_window.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include "jobs/output_names.h"
#include "jobs/previewer.h"
#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "jobs/video_information.h"
#include "ui/file_list_view.h"
#include "ui/help_page.h"
#include "ui/job_end.h"
#include "ui/job_list_model.h"
#include "ui/output_choices.h"
#include "ui/row_look.h"
#include "ui_main_window.h"

namespace {

// The list's starting column widths, FileName to Progress. The Status column holds the
// longest outcome ("Conversion error, repaired file kept") without cutting it off.
constexpr int kColumnWidths[ColumnCount] = {226, 80, 240, 133};
constexpr int kDurationWidth = 80;
constexpr int kStatusWidth = 240;
// What the FileName column leaves to the others besides Duration and Status.
constexpr int kOtherColumnsRoom = 154;
constexpr int kNarrowestList = 200;
constexpr int kNarrowestFileName = 51;

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()) {
    ui->setupUi(this);
    initialising = true;

    // Centred on the primary screen's free area.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        QRect frame = frameGeometry();
        const QPoint centre((area.left() + area.right()) / 2, (area.top() + area.bottom()) / 2);
        frame.moveTopLeft(QPoint(centre.x() - (frame.right() - frame.left()) / 2,
                                 centre.y() - (frame.bottom() - frame.top()) / 2));
        move(frame.topLeft());
    }

    model = new JobListModel(this);
    model->setHorizontalHeaderLabels({tr("FileName"), tr("Duration"), tr("Status"), tr("Progress")});

    fileListView = new clsMyTree;
    fileListView->setModel(model);
    fileListView->setItemDelegate(&delegate);
    fileListView->setAcceptDrops(true);
    fileListView->setDropIndicatorShown(true);
    ui->contentLayerTree->addWidget(fileListView);
    for (int column = 0; column < ColumnCount; ++column) fileListView->setColumnWidth(column, kColumnWidths[column]);

    setupStatusBar();
    timer = new QTimer(this);
    setupConnections();

    fillChoices(*ui->comboRotate, rotationChoices());
    fillChoices(*ui->comboFormat, formatChoices());

    loadSettings();
    onstatus();

    if (!settingIsTrue(settings->value(settingsKeys::firstlaunch))) {
        QDesktopServices::openUrl(helpPageUrl());
        settings->setValue(settingsKeys::firstlaunch, QStringLiteral("true"));
    }

    enableSettingsButton();
    previewWorker = std::make_unique<previewer>(ui->labelPreview);
    initialising = false;
}

void MainWindow::setupConnections() {
    connect(fileListView, &clsMyTree::changed, this, &MainWindow::OleDragDrop);
    connect(fileListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::mySelectionChanged);

    // The Repair and Clear actions reach their slots by name.
    connect(ui->actionAdd, &QAction::triggered, this, &MainWindow::actionAdd_Clicked);
    connect(ui->actionSettings, &QAction::triggered, this, &MainWindow::actionSettings_Clicked);
    connect(ui->actionCancel, &QAction::triggered, this, &MainWindow::actionCancel_All_clicked);
    connect(ui->actionCancel_Selected, &QAction::triggered, this, &MainWindow::actionCancel_Selected_clicked);
    connect(ui->actionDelete_Selected, &QAction::triggered, this, &MainWindow::actionDelete_Selected_clicked);
    connect(ui->actionCancel_All, &QAction::triggered, this, &MainWindow::actionCancel_All_clicked);
    connect(ui->actionDelete_All, &QAction::triggered, this, &MainWindow::actionDelete_All_clicked);
    connect(ui->actionExit, &QAction::triggered, this, &MainWindow::actionExit_clicked);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::actionAbout_Clicked);
    connect(ui->logAction, &QAction::triggered, this, &MainWindow::logAction_clicked);

    connect(timer, &QTimer::timeout, this, &MainWindow::checkClipBoard);
}

MainWindow::~MainWindow() {
    // A picture being decoded is given up at once; the previewer is released before its label.
    previewWorker->requestStop();
    actionCancel_All_clicked();
    pendingResets.clear();
    // Every job, waiting ones too, so that none can start while the others end.
    model->forEachJob([](unitFile& job) { job.setCancel(true); });
    for (const auto& job : retiringJobs) job->setCancel(true);
    model->forEachJob([](unitFile& job) { job.wait(); });
    for (const auto& job : retiringJobs) job->wait();
    probes.stopAndWait();
    previewWorker.reset();
    saveSettings();
}

QString MainWindow::statusCodeText(int code) { return statusCodeTextOf(code); }

unitFile* MainWindow::jobAt(int row) const { return model->jobAt(row); }

int MainWindow::jobCount() const { return model->jobCount(); }

void MainWindow::loadSettings() {
    if (!settings) settings = std::make_unique<clsSettings>();
    qDebug() << "settings:" << settings->fileName();

    savePath = settings->savePath();
    ui->outPathText->setText(savePath);
    openPath = settings->openPath();

    previewShow = settings->flag(settingsKeys::mPreviewShow);
    ui->checkPreview->setChecked(previewShow);
    ui->horizontalSlider->setEnabled(previewShow);
    saveInFileDirectory = settings->flag(settingsKeys::saveInFileDirectory);
    ui->chkFileDirectory->setChecked(saveInFileDirectory);
    showSaveInFileDirectory(saveInFileDirectory);

    selectStoredChoice(settingsKeys::GeneralFormatOutput, *ui->comboFormat, tr(kReEncodeFormat), true);
    selectStoredChoice(settingsKeys::GeneralRotation, *ui->comboRotate, tr(kNoRotation), false);
    saveSettings();
}

void MainWindow::selectStoredChoice(const char* key, QComboBox& box, const QString& fallback, bool storeFallback) {
    const QString stored = settings->value(key).toString();
    if (stored.isEmpty()) {
        box.setCurrentIndex(box.findText(fallback, Qt::MatchExactly | Qt::MatchCaseSensitive));
        if (storeFallback) settings->setValue(key, clsSettings::defaultValue(key));
        return;
    }
    // A text that no entry has leaves the box without a current entry.
    box.setCurrentIndex(box.findText(stored, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void MainWindow::saveSettings() {
    if (!settings) settings = std::make_unique<clsSettings>();
    settings->setValue(settingsKeys::SavePath, savePath);
    settings->setValue(settingsKeys::openPath, openPath);
    settings->setValue(settingsKeys::saveInFileDirectory, saveInFileDirectory);
    settings->setValue(settingsKeys::mPreviewShow, previewShow);
}

void MainWindow::setupStatusBar() {
    auto* home = new QPushButton(QStringLiteral(" Kestrine - Video Repair Tool "), this);
    home->setFlat(true);
    home->setCursor(Qt::PointingHandCursor);
    home->setStyleSheet(QStringLiteral("QPushButton {color : blue; text-decoration: underline }"));
    connect(home, &QPushButton::pressed, this, &MainWindow::buttonHome_clicked);
    countLabel = new QLabel(this);
    countLabel->setIndent(3);
    countLabel->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(home);
    statusBar()->addWidget(countLabel);
}

void MainWindow::buttonHome_clicked() { QDesktopServices::openUrl(helpPageUrl()); }

void MainWindow::showSaveInFileDirectory(bool inSourceFolder) {
    for (QWidget* w : std::initializer_list<QWidget*>{ui->outPathText, ui->pushButton, ui->openDirButton})
        w->setEnabled(!inSourceFolder);
}

void MainWindow::enableSettingsButton() { ui->settingsButton->setEnabled(ui->comboFormat->currentIndex() != 0); }

// Guarded like the boxes' slots: the stored state applied by loadSettings is not a change.
void MainWindow::on_chkFileDirectory_stateChanged(int state) {
    if (initialising) return;
    saveInFileDirectory = state == Qt::Checked;
    showSaveInFileDirectory(saveInFileDirectory);
    saveSettings();
}

void MainWindow::on_comboFormat_currentIndexChanged(const QString& text) {
    if (initialising) return;
    enableSettingsButton();
    if (!settings) settings = std::make_unique<clsSettings>();
    settings->setValue(settingsKeys::GeneralFormatOutput, text);
}

void MainWindow::on_comboRotate_currentIndexChanged(int) {
    if (initialising) return;
    if (!settings) settings = std::make_unique<clsSettings>();
    settings->setValue(settingsKeys::GeneralRotation, ui->comboRotate->currentText());
}

void MainWindow::on_pushButton_clicked() {
    const QString folder = QFileDialog::getExistingDirectory(nullptr, tr("Select output folder"), QString(),
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) return;
    savePath = withTrailingSlash(folder);
    ui->outPathText->setText(savePath);
    saveSettings();
}

void MainWindow::on_openDirButton_clicked() {
    // A file URL from the path itself: "#" or "?" in a folder name stay part of it.
    QDesktopServices::openUrl(QUrl::fromLocalFile(ui->outPathText->text()));
}

void MainWindow::fitColumns() {
    fileListView->setColumnWidth(ColumnDuration, kDurationWidth);
    fileListView->setColumnWidth(ColumnStatus, kStatusWidth);
    const int width = fileListView->width();
    if (width < kNarrowestList) return;
    const int rest = width - kDurationWidth - kStatusWidth - kOtherColumnsRoom;
    if (rest < kNarrowestFileName) return;
    fileListView->setColumnWidth(ColumnFileName, rest);
}

void MainWindow::fitColumnsOnChange() {
    if (initialising) return;
    if (!firstResizeSeen) {
        firstResizeSeen = true;
        return;
    }
    fitColumns();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    fitColumnsOnChange();
}

void MainWindow::resizeTreeviewColumns() { fitColumnsOnChange(); }
