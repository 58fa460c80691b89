#include "ui/reference_dialog.h"

#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <algorithm>

#include "jobs/output_names.h"
#include "jobs/settings.h"
#include "jobs/video_information.h"
#include "ui_reference_dialog.h"

namespace {

// Wide enough for the explanation and a probed reference's parameters at common font sizes.
constexpr int kWidth = 420;

}  // namespace

referenceDialog::referenceDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint),
      ui(std::make_unique<Ui::referenceDialog>()),
      settings(std::make_unique<clsSettings>()) {
    ui->setupUi(this);
    qDebug() << "settings:" << settings->fileName();
    ui->labelVideo->setText(QStringLiteral("Video: -"));
    ui->labelAudio->setText(QStringLiteral("Audio: -"));
    showParameters(false);

    referenceFolder = withTrailingSlash(settings->openPathReference());

    const QString stored = settings->value(settingsKeys::referenceFile).toString();
    if (!stored.isEmpty() && QFileInfo(stored).isFile()) {
        ui->lineEdit->setText(stored);
        probeReference(stored);
    }
}

// The probes still reading (each reads one file) are waited for by their set.
referenceDialog::~referenceDialog() = default;

// The parameter group shows only for a healthy reference; the dialog grows to hold it and the
// buttons stay below it.
void referenceDialog::showParameters(bool shown) {
    ui->groupParameters->setVisible(shown);
    layout()->activate();
    setFixedSize(kWidth, std::max(heightForWidth(kWidth), minimumSizeHint().height()));
}

void referenceDialog::probeReference(const QString& path) {
    referencePath = path;
    latestProbe = probes.start({path}, this);
}

bool referenceDialog::fromLatestProbe() const { return sender() == latestProbe; }

void referenceDialog::on_pushButton_clicked() {
    QFileDialog dialog(this, QString(), referenceFolder, tr("Video files (*.mp4 *.mov *.3gp *.3g2)"));
    dialog.setViewMode(QFileDialog::List);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!dialog.exec() || dialog.selectedFiles().isEmpty()) return;
    const QString chosen = dialog.selectedFiles().constFirst();
    referenceFolder = QFileInfo(chosen).absolutePath();
    settings->setValue(settingsKeys::openPathReference, referenceFolder);
    probeReference(chosen);
}

void referenceDialog::startFindInfo() {
    if (fromLatestProbe()) ui->save->setEnabled(false);
}

void referenceDialog::endFindInfo() {}

void referenceDialog::FoundVideoDetails(const videoDetails& details) {
    // An earlier choice answering late is no longer the question.
    if (!fromLatestProbe()) return;
    ui->labelVideo->setText(QStringLiteral("Video: -"));
    ui->labelAudio->setText(QStringLiteral("Audio: -"));

    if (details.mNBStreams > 0 && !details.mVideoCodec.isEmpty()) {
        // The real frame rate (29.97, not the whole frames per second).
        ui->labelVideo->setText(QStringLiteral("Video: %1; %2x%3; %4 fps; %5 Kbps")
                                    .arg(details.mVideoCodec)
                                    .arg(details.mVideoWidth)
                                    .arg(details.mVideoHeight)
                                    .arg(double(details.mVideoframerate), 0, 'f', 2)
                                    .arg(details.mVideoBitRate));
        if (!details.mAudioCodec.isEmpty())
            ui->labelAudio->setText(QStringLiteral("Audio: %1; %2Hz; %3 Kbps")
                                        .arg(details.mAudioCodec)
                                        .arg(details.mAudioSampleRate)
                                        .arg(details.mAudioBitRate));
        showParameters(true);
        settings->setValue(settingsKeys::referenceFile, referencePath);
        ui->save->setEnabled(true);
        ui->lineEdit->setText(referencePath);
        return;
    }

    settings->setValue(settingsKeys::referenceFile, QString());
    ui->save->setEnabled(false);
    ui->lineEdit->clear();
    showParameters(false);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Warning"),
                    QStringLiteral("This file is not an healthy video file. Please select a valid video file.\n"),
                    QMessageBox::NoButton, nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.exec();
}

void referenceDialog::on_cancel_clicked() {
    settings->setValue(settingsKeys::referenceFile, QString());
    ui->lineEdit->clear();
    reject();
}

void referenceDialog::on_save_clicked() { accept(); }
