#pragma once
// The program's one window: the list of videos with one job per row (the rows and their jobs
// are the list model's), the scheduler that runs the jobs one at a time, the display of their
// progress, and the output settings.
//
// A row removed while its job is still ending leaves the list at once; its job ends in the
// background (it was cancelled) and counts as busy until its thread has stopped, so no two jobs
// ever run at the same time.
#include <QImage>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>
#include <unordered_map>
#include <vector>

#include "jobs/video_details.h"
#include "ui/preview_file.h"
#include "ui/probe_set.h"
#include "ui/progress_delegate.h"

class QComboBox;
class QItemSelection;
class QLabel;
class JobListModel;
class QMimeData;
class QTimer;
class clsMyTree;
class clsSettings;
class previewer;
class unitFile;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    // Cancels every job and waits for the job threads, the probes and the previewer, so that
    // nothing runs on (or leaves temporary files behind) once the window is gone.
    ~MainWindow() override;

    static QString statusCodeText(int code);

    void loadSettings();
    void saveSettings();
    void setupStatusBar();
    void fitColumns();

    // The job of `row`; null when no such row is listed (a row removed while it was selected).
    unitFile* jobAt(int row) const;
    int jobCount() const;
    // Jobs whose rows were removed while their threads were still ending.
    int retiringJobCount() const { return static_cast<int>(retiringJobs.size()); }
    // A probe of added files is running.
    bool probingBusy() const { return probesRunning > 0; }

    // Makes `row` the current row: its summary in the information label, its picture in the
    // preview (while Preview is on), and its job the one whose repair shows live pictures.
    void selectRow(int row);
    // The row shown in the information label and the preview; -1 when none.
    int shownRow() const { return currentRow; }
    const previewer& previewDecoder() const { return *previewWorker; }

public slots:
    // The output settings (connected by name).
    void on_chkFileDirectory_stateChanged(int state);
    void on_comboFormat_currentIndexChanged(const QString& text);
    void on_comboRotate_currentIndexChanged(int index);
    void on_pushButton_clicked();
    void on_openDirButton_clicked();
    void buttonHome_clicked();
    void resizeTreeviewColumns();

    // The file list.
    void OleDragDrop(const QMimeData* mimeData);
    void actionAdd_Clicked();
    void startFindInfo();
    void endFindInfo();
    void FoundVideoDetails(const videoDetails& details);
    void onstatus();

    // The scheduler and the list actions.
    void actionSettings_Clicked();
    void on_actionRepair_triggered();
    void checkClipBoard();
    void actionCancel_All_clicked();
    void actionCancel_Selected_clicked();
    void actionDelete_All_clicked();
    void actionDelete_Selected_clicked();
    void removeAllRows();
    void on_actionClear_triggered();
    void actionExit_clicked();

    // Selection and preview (the check box and the slider connected by name).
    void mySelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void on_checkPreview_stateChanged(int state);
    void on_horizontalSlider_valueChanged(int value);
    void on_horizontalSlider_sliderMoved(int position);

    // The dialogs.
    void actionAbout_Clicked();
    void logAction_clicked();
    void on_settingsButton_clicked();

    // The jobs' reports, each carrying its job's uid first.
    void startDownloadFile(QString uid);
    void startConvertFile(QString uid);
    void endConvertFile(QString uid, int status);
    void progressConvertFile(QString uid, int intFPS, int intFRAME, int intTIME, int totalTime);
    void repairStatusText(QString uid, QString status);
    void repairStatus(QString uid, int percent);
    void endRepair(QString uid);
    // A running repair's live picture: shown only while its job's row is the shown row and
    // Preview is on, judged when it arrives.
    void repairPicture(QString uid, QImage picture);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // The explicit connections of the window's own widgets, actions and timer; the slots named
    // on_<object>_<signal> are connected by the form.
    void setupConnections();

    // Settings.
    void showSaveInFileDirectory(bool inSourceFolder);
    void enableSettingsButton();
    void selectStoredChoice(const char* key, QComboBox& box, const QString& fallback, bool storeFallback);

    // File list.
    // The paths that name regular files; the others are told in the information bar.
    QStringList regularFilesOnly(const QStringList& paths);
    void showRefusedFiles(const QStringList& names);
    void connectJob(unitFile& job);
    void fitColumnsOnChange();
    std::vector<int> selectedRows() const;
    static void showSelectionWarning();

    // Scheduler.
    void startRun(bool repair);
    void resetJob(int row, bool repair);
    void showRunning(bool running);
    bool isBusy(const unitFile& job) const;
    bool isEligible(const unitFile& job) const;
    bool isSettled(const unitFile& job) const;
    bool removeRow(int row);
    void retireJob(std::unique_ptr<unitFile> job);
    void retiredJobEnded(unitFile* job);
    void jobThreadEnded(unitFile* job);

    // Preview and selection.
    // Closes the preview (when open), then opens the file of `job` that `occasion` calls for.
    void reopenPreview(const unitFile& job, PreviewOccasion occasion);
    void closePreview();
    // No row is current any more: the information label shows "...", the preview closes.
    void leaveCurrentRow();
    void showInformationPlain();
    // Tells every job whether it is the one of `row` (-1: none).
    void tellJobsSelected(int row);
    // The preview steps of the current row's job reports.
    void previewFollowsConversion(const unitFile& job, int seconds);
    void previewShowsJobEnd(const unitFile& job, int status);
    void previewShowsRepairEnd(const unitFile& job);

    std::unique_ptr<Ui::MainWindow> ui;
    std::vector<std::unique_ptr<unitFile>> retiringJobs;
    // Jobs reset for a run while their thread was still ending after a cancel: the reset (with
    // its repair flag) is made once the thread has stopped, so the cancel stands until then.
    std::unordered_map<const unitFile*, bool> pendingResets;
    ProbeSet probes;
    int probesRunning = 0;

    std::unique_ptr<clsSettings> settings;
    QString savePath;
    QString openPath;
    bool saveInFileDirectory = false;
    bool previewShow = true;

    int currentRow = -1;
    bool initialising = false;
    bool firstResizeSeen = false;
    QTimer* timer = nullptr;
    JobListModel* model = nullptr;  // the rows and their jobs
    TreeViewDelegate delegate;
    QLabel* countLabel = nullptr;
    clsMyTree* fileListView = nullptr;
    std::unique_ptr<previewer> previewWorker;
    QString lastStatusText;
};
