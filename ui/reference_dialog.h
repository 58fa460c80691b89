#pragma once
// The dialog that asks for a healthy reference video before a repair: it probes the chosen file
// in a thread of its own, shows its video and audio parameters, and stores an accepted file under
// "referenceFile". It is accepted only through "Repair Now!"; every other way out is a rejection.
#include <QDialog>
#include <QString>

#include <memory>

#include "jobs/video_details.h"
#include "ui/probe_set.h"

class clsSettings;

namespace Ui {
class referenceDialog;
}

class referenceDialog : public QDialog {
    Q_OBJECT
public:
    explicit referenceDialog(QWidget* parent = nullptr);
    ~referenceDialog() override;

    // Probes `path` as the reference. Probes may overlap; only the latest one's answer counts,
    // so a slow probe of an earlier choice never overwrites a later one.
    void probeReference(const QString& path);
    // A probe is still reading or its answer has not arrived yet.
    bool isProbing() const { return probes.busy(); }

public slots:
    void on_cancel_clicked();
    void on_pushButton_clicked();
    void startFindInfo();
    void endFindInfo();
    void FoundVideoDetails(const videoDetails& details);
    void on_save_clicked();

private:
    bool fromLatestProbe() const;
    void showParameters(bool shown);

    std::unique_ptr<Ui::referenceDialog> ui;
    std::unique_ptr<clsSettings> settings;
    QString referenceFolder;
    QString referencePath;
    ProbeSet probes;
    const videoInformation* latestProbe = nullptr;
};
