#include "ui/about_box.h"

#include <QDesktopServices>
#include <QtGlobal>

extern "C" {
#include <libavutil/avutil.h>
}

#include "ui/help_page.h"
#include "ui_about_box.h"

namespace {

const char* const kFfmpegSourceAddress = "https://ffmpeg.org/releases/";

}  // namespace

aboutui::aboutui(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::aboutui>()) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    // Every version is the one in use: the build's own, and the libraries as loaded, which may
    // be newer than the ones the program was built against.
    ui->versionLabel->setText(tr("V%1").arg(QStringLiteral(VANTOREL_VERSION)));
    ui->ffmpegNoteLabel->setText(tr("Kestrine Re-Encoder uses FFmpeg version %1 from the FFmpeg project under the %2")
                                     .arg(QString::fromUtf8(av_version_info()), QString::fromUtf8(avutil_license())));
    ui->qtNoteLabel->setText(tr("Kestrine Re-Encoder uses Qt version %1 under LGPL license").arg(QString::fromLatin1(qVersion())));

    ui->pushButton->setToolTip(helpPageUrl().toLocalFile());
    ui->pushButton_2->setText(ffmpegSourceUrl().toString());

    // The notes wrap to as many lines as the version texts need: the box grows within its bounds.
    resize(width(), qBound(minimumHeight(), layout()->totalHeightForWidth(width()), maximumHeight()));
}

aboutui::~aboutui() = default;

QUrl aboutui::ffmpegSourceUrl() { return QUrl(QString::fromLatin1(kFfmpegSourceAddress)); }

void aboutui::on_okButton_clicked() { close(); }

void aboutui::on_pushButton_clicked() { QDesktopServices::openUrl(helpPageUrl()); }

void aboutui::on_pushButton_2_clicked() { QDesktopServices::openUrl(ffmpegSourceUrl()); }

aboutui* openAboutBox() {
    auto* box = new aboutui();
    box->setModal(true);
    box->show();
    return box;
}
