#pragma once
// The diagnostic dialog: the user watches the diagnostic of one file. It starts a clsDiag worker
// and turns its queued signals into a time-stamped log, a progress bar, the file type, codec and
// resolution labels and the preview picture. Closing, Close or destroying it stops the worker and
// waits for its thread.
#include <QDialog>
#include <QString>

#include <memory>

class QStringListModel;
class clsDiag;

namespace Ui {
class diagnosticvideo;
}

class diagnosticvideo : public QDialog {
    Q_OBJECT
public:
    explicit diagnosticvideo(QWidget* parent = nullptr);
    ~diagnosticvideo() override;

    // Shows the file's name and size and starts its diagnostic.
    void startDiagnostic(const QString& path);
    // "hh:mm:ss - " + text, appended to the log, which scrolls to it.
    void addLogLine(const QString& text);
    // Asks the worker to stop and waits until its thread has ended.
    void stopWorker();

    // 1,572,864 gives "1.50 MB"; 1,000 gives "1000.00 bytes".
    static QString formatFileSize(qint64 bytes);

    const clsDiag* worker() const { return worker_.get(); }

public slots:
    void startTypeFinder();
    void endTypeFinder(const QString& videoType);
    void startHeaderFinder();
    void endHeaderFinder();
    void startFindFrames();
    void infoScan(const QString& inMsg);
    void infoScanProgress(int current, int max);
    void on_pushButton_clicked();
    void on_diagnosticvideo_finished(int result);
    void InfoFoundFromDecode();
    void InfoFoundCodec(bool isHEVC);

private:
    // Once a run has ended by itself, a result label still "Searching..." says "Not found".
    void showWhatWasNotFound();

    std::unique_ptr<Ui::diagnosticvideo> ui_;
    QString path_;
    std::unique_ptr<clsDiag> worker_;
    QStringListModel* logModel_;
    // Cleared by stopWorker: signals the worker had queued before it stopped are ignored, so no
    // line appears after Close.
    bool listening_ = false;
};

// The Diagnose action: a new dialog without parent running the diagnostic of `path`, modal,
// shown without waiting; it stops its worker and releases itself when it is closed.
diagnosticvideo* openDiagnostic(const QString& path);
