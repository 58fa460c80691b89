#include "tools/screenshots/states.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "analysis/diag_worker.h"
#include "jobs/child_programs.h"
#include "jobs/previewer.h"
#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "ui/about_box.h"
#include "ui/conversion_log.h"
#include "ui/diagnostic_video.h"
#include "ui/file_list_view.h"
#include "ui/main_window.h"
#include "ui/reference_dialog.h"
#include "ui/row_look.h"
#include "ui/video_settings.h"

namespace screenshots {
namespace {

QAction* action(MainWindow& window, const char* name) { return window.findChild<QAction*>(QString::fromLatin1(name)); }

void store(const char* key, const QString& value) { clsSettings().setValue(QString::fromLatin1(key), value); }

// A window as a person sees it after starting the program.
struct ShownWindow {
    ShownWindow() {
        window.show();
        waitUntil([this] { return window.isVisible(); });
        settle(200);
    }
    MainWindow window;
};

bool empty(const Inputs&, const QString& output) {
    ShownWindow shown;
    return grab(shown.window, output);
}

bool dropped(const Inputs& inputs, const QString& output) {
    ShownWindow shown;
    dropFiles(shown.window, {inputs.file("healthy.mp4"), inputs.file("Holiday 2024 #2.mov"), inputs.file("notes.mp4")});
    return waitForRows(shown.window, 3) && grab(shown.window, output);
}

bool refused(const Inputs& inputs, const QString& output) {
    ShownWindow shown;
    dropFiles(shown.window, {inputs.file("healthy.mp4"), inputs.file("output"), QStringLiteral("/dev/null")});
    return waitForRows(shown.window, 1) && grab(shown.window, output);
}

void selectListRow(MainWindow& window, int row) {
    auto* view = window.findChild<clsMyTree*>();
    view->selectionModel()->select(view->model()->index(row, ColumnFileName),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// Presses "Repair Now!" once the reference dialog has probed its file.
void acceptReferenceWhenReady() {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll] {
        auto* dialog = qobject_cast<referenceDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        auto* save = dialog->findChild<QPushButton*>(QStringLiteral("save"));
        if (!save || !save->isEnabled()) return;
        poll->deleteLater();
        save->click();
    });
    poll->start(100);
}

// The stored reference and output folder of a repair, and the stand-in for the audio repair
// it runs (the real program without one), for the lifetime of the object.
struct RepairSetup {
    explicit RepairSetup(const Inputs& inputs, const char* audioRepair = nullptr) {
        store(settingsKeys::referenceFile, inputs.file("reference.mp4"));
        store(settingsKeys::SavePath, inputs.file("output/"));
        if (audioRepair) setChildProgramOverride(ChildProgram::AudioRepair, inputs.file(audioRepair));
    }
    ~RepairSetup() { setChildProgramOverride(ChildProgram::AudioRepair, QString()); }
};

// Repair on every listed row, answered with the stored reference; true once every job is done.
bool repairAll(MainWindow& w) {
    acceptReferenceWhenReady();
    action(w, "actionRepair")->trigger();
    return waitUntil(
        [&] {
            if (!action(w, "actionRepair")->isEnabled()) return false;
            for (int row = 0; row < w.jobCount(); ++row)
                if (!w.jobAt(row)->isDone) return false;
            return true;
        },
        180000);
}

// A repair under way on the selected row: the real programs repair the cut recording, its scan
// paints its live pictures into the preview, and a stand-in ffmpeg that waits holds the job at
// the mux. The row then shows the scan's reports through the window's own slots, as the engine
// sends them, so the picture appears beside the phase it belongs to.
bool repairing(const Inputs& inputs, const QString& output) {
    const RepairSetup setup(inputs, "waiting-audio-repair");
    ShownWindow shown;
    MainWindow& w = shown.window;
    dropFiles(w, {inputs.file("CLIP0042.MP4"), inputs.file("healthy.mp4")});
    if (!waitForRows(w, 2)) return false;
    selectListRow(w, 0);
    acceptReferenceWhenReady();
    action(w, "actionRepair")->trigger();
    if (!waitUntil([&] { return cellText(w, 0, ColumnStatus).startsWith(QStringLiteral("Audio repair")); }, 120000))
        return false;
    settle(300);
    const QString uid = QString::fromStdString(w.jobAt(0)->uid);
    w.repairStatusText(uid, QStringLiteral("Scan..."));
    w.repairStatus(uid, 42);
    return grab(w, output);
}

// Two repairs with the real programs: a cut recording that comes back, and a file that holds
// no video at all.
bool finished(const Inputs& inputs, const QString& output) {
    const RepairSetup setup(inputs);
    ShownWindow shown;
    MainWindow& w = shown.window;
    dropFiles(w, {inputs.file("CLIP0042.MP4"), inputs.file("notes.mp4")});
    return waitForRows(w, 2) && repairAll(w) && grab(w, output);
}

// A repair whose sound the audio repair refuses: the picture is kept, the row is no full success.
bool withoutSound(const Inputs& inputs, const QString& output) {
    const RepairSetup setup(inputs, "refusing-audio-repair");
    ShownWindow shown;
    MainWindow& w = shown.window;
    dropFiles(w, {inputs.file("CLIP0042.MP4")});
    return waitForRows(w, 1) && repairAll(w) && grab(w, output);
}

bool reference(const Inputs& inputs, const QString& output) {
    store(settingsKeys::referenceFile, inputs.file("reference.mp4"));
    referenceDialog dialog;
    dialog.show();
    auto* video = dialog.findChild<QLabel*>(QStringLiteral("labelVideo"));
    return waitUntil([&] { return video->text() != QStringLiteral("Video: -"); }) && grab(dialog, output);
}

// The one visible top-level dialog of type T, once it shows.
template <typename T>
T* shownDialog() {
    T* found = nullptr;
    waitUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<T*>(w); dialog && dialog->isVisible()) found = dialog;
        return found != nullptr;
    });
    return found;
}

bool previewSettled(MainWindow& window) {
    if (!waitUntil([&] { return !window.previewDecoder().isRunning(); })) return false;
    settle(200);  // the picture reaches the label
    return true;
}

// The first row selected with its picture, the slider halfway: the picture of 00:00:02.
bool selected(const Inputs& inputs, const QString& output) {
    ShownWindow shown;
    MainWindow& w = shown.window;
    dropFiles(w, {inputs.file("healthy.mp4"), inputs.file("Holiday 2024 #2.mov")});
    if (!waitForRows(w, 2)) return false;
    selectListRow(w, 0);
    if (!previewSettled(w)) return false;
    w.findChild<QSlider*>(QStringLiteral("horizontalSlider"))->setValue(50);
    return previewSettled(w) && grab(w, output);
}

// A real conversion, then the row's log.
bool conversionLog(const Inputs& inputs, const QString& output) {
    store(settingsKeys::SavePath, inputs.file("output/"));
    store(settingsKeys::GeneralFormatOutput, QStringLiteral("Mpeg1"));
    ShownWindow shown;
    MainWindow& w = shown.window;
    dropFiles(w, {inputs.file("healthy.mp4")});
    if (!waitForRows(w, 1)) return false;
    action(w, "actionSettings")->trigger();
    if (!waitUntil([&] { return w.jobAt(0)->isDone && action(w, "actionSettings")->isEnabled(); }, 120000)) return false;
    selectListRow(w, 0);
    action(w, "logAction")->trigger();
    logconversion* dialog = shownDialog<logconversion>();
    return dialog && grab(*dialog, output);
}

bool about(const Inputs&, const QString& output) {
    ShownWindow shown;
    action(shown.window, "actionAbout")->trigger();
    aboutui* box = shownDialog<aboutui>();
    return box && grab(*box, output);
}

// The settings button with `format` chosen in the format box.
bool settingsFor(const QString& format, const QString& output) {
    ShownWindow shown;
    auto* formats = shown.window.findChild<QComboBox*>(QStringLiteral("comboFormat"));
    formats->setCurrentIndex(formats->findText(format));
    shown.window.findChild<QPushButton*>(QStringLiteral("settingsButton"))->click();
    videoSettings* dialog = shownDialog<videoSettings>();
    return dialog && grab(*dialog, output);
}

bool settingsMp4(const Inputs&, const QString& output) { return settingsFor(QStringLiteral("Mp4"), output); }
bool settingsMp3(const Inputs&, const QString& output) { return settingsFor(QStringLiteral("Mp3"), output); }

// The hidden Diagnose action on a cut camera recording, photographed once the diagnostic ended.
bool diagnostic(const Inputs& inputs, const QString& output) {
    ShownWindow shown;
    MainWindow& w = shown.window;
    dropFiles(w, {inputs.file("CLIP0043.MP4")});
    if (!waitForRows(w, 1)) return false;
    selectListRow(w, 0);
    action(w, "actionExit")->trigger();
    diagnosticvideo* dialog = shownDialog<diagnosticvideo>();
    return dialog && waitUntil([&] { return dialog->worker() && dialog->worker()->isFinished(); }, 120000) &&
           grab(*dialog, output);
}

}  // namespace

const std::vector<State>& states() {
    static const std::vector<State> table = {
        {"empty", "the window as it starts, nothing listed", empty},
        {"dropped", "three files dropped: two videos and a text file", dropped},
        {"refused", "a video dropped with a folder and a device: one row, the refusal in the information bar",
         refused},
        {"repairing", "a repair in progress: blue status, a partly green bar, the live picture", repairing},
        {"finished", "a repaired row in green beside a row that could not be repaired", finished},
        {"without-sound", "a repair that kept the picture without its sound, in dark yellow", withoutSound},
        {"reference", "the reference dialog with a probed reference", reference},
        {"selected", "a selected row with its preview picture and time stamp", selected},
        {"log", "the conversion log of a converted row", conversionLog},
        {"about", "the About box", about},
        {"settings-mp4", "the conversion settings for Mp4", settingsMp4},
        {"settings-mp3", "the conversion settings for Mp3: audio only", settingsMp3},
        {"diagnostic", "the diagnostic of a cut recording after its run", diagnostic},
    };
    return table;
}

}  // namespace screenshots
