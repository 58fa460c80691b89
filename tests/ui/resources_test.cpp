// The pictures built into the program: every one loads through Qt's image plugins (GIF and
// ICO included), and every resource path the program and its dialogs name is there.
#include <QAction>
#include <QDirIterator>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "jobs/previewer.h"
#include "tests/support/qtest_main.h"
#include "tests/ui/window_harness.h"
#include "ui/main_window.h"
#include "ui/output_choices.h"
#include "ui/reference_dialog.h"
#include "ui/row_look.h"
#include "ui/window_pictures.h"

using namespace windowtest;

class ResourcesTest : public QObject {
    Q_OBJECT

private slots:
    void everyBuiltInPictureLoads() {
        int pictures = 0;
        for (const char* prefix : {":/new/graphics/res", ":/format/icons/res/format"}) {
            QDirIterator it(QString::fromLatin1(prefix), QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                if (!QRegExp(QStringLiteral(".*\\.(png|gif|ico)")).exactMatch(path)) continue;
                ++pictures;
                QImageReader reader(path);
                const QImage image = reader.read();
                QVERIFY2(!image.isNull(), qPrintable(path + ": " + reader.errorString()));
                QVERIFY2(image.width() >= 16 && image.height() >= 16, qPrintable(path));
            }
        }
        QVERIFY(pictures > 0);
    }

    // The names the window, its dialogs and the previewer use, under the prefixes they use.
    void everyNamedPictureIsThere_data() {
        QTest::addColumn<QString>("path");
        QStringList named = {QString::fromLatin1(previewer::kDefaultPicture),
                             pictures::kApplicationIcon,
                             pictures::kLogo,
                             pictures::kRepairStarting,
                             pictures::kConvertStarting,
                             pictures::kSucceeded,
                             pictures::kFailed,
                             pictures::kSameQuality,
                             pictures::kRepair,
                             pictures::kPreview};
        for (RowLook look : {RowLook::Waiting, RowLook::RepairStarting, RowLook::ConvertStarting, RowLook::Succeeded,
                             RowLook::Failed})
            named << rowLookIcon(look);
        for (const OutputChoice& choice : rotationChoices()) named << choice.icon;
        for (const OutputChoice& choice : formatChoices()) named << choice.icon;
        // Pictures of the dialogs: the About box, the conversion log and the diagnostic.
        for (const char* file : {"logo.png", "home32.png", "log.png", "broken.png", "tools.png", "folder.gif",
                                 "reglages.png", "cancel16.png", "remove16.gif", "about.png"})
            named << QStringLiteral(":/new/graphics/res/") + QLatin1String(file);
        named.removeDuplicates();
        for (const QString& path : named) QTest::newRow(qPrintable(path)) << path;
    }
    void everyNamedPictureIsThere() {
        QFETCH(QString, path);
        QVERIFY(!QImage(path).isNull());
    }

    void theGifAndIcoPicturesComeThroughTheirOwnPlugins_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("folder") << ":/new/graphics/res/folder.gif" << QByteArray("gif");
        QTest::newRow("remove") << ":/new/graphics/res/remove16.gif" << QByteArray("gif");
        QTest::newRow("webm") << ":/format/icons/res/format/webm.gif" << QByteArray("gif");
        QTest::newRow("rotate left") << ":/new/graphics/res/rotate_left_90.ico" << QByteArray("ico");
        QTest::newRow("rotate right") << ":/new/graphics/res/rotate_right_90.ico" << QByteArray("ico");
        QTest::newRow("rotate 180") << ":/new/graphics/res/rotate_180.ico" << QByteArray("ico");
    }
    void theGifAndIcoPicturesComeThroughTheirOwnPlugins() {
        QFETCH(QString, path);
        QImageReader reader(path);
        QTEST(reader.format(), "format");
        const QImage image = reader.read();
        QVERIFY(!image.isNull());
        // Transparent around the glyph, drawn inside.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QVERIFY(qAlpha(image.pixel(image.width() / 2, image.height() / 2)) > 0);
    }

    // The forms name their pictures themselves; each must have found one.
    void theFormsFindTheirPictures() {
        freshSettings();
        MainWindow w;
        QVERIFY(!w.windowIcon().isNull());
        for (QAction* action : w.findChildren<QAction*>()) {
            if (action->objectName().isEmpty() || action->isSeparator()) continue;
            QVERIFY2(!action->icon().pixmap(16, 16).isNull(), qPrintable(action->objectName()));
        }
        for (const char* button : {"openDirButton", "settingsButton"})
            QVERIFY2(!w.findChild<QPushButton*>(QString::fromLatin1(button))->icon().pixmap(16, 16).isNull(), button);
        QVERIFY(!w.findChild<QLabel*>(QStringLiteral("labelPreview"))->pixmap(Qt::ReturnByValue).isNull());

        referenceDialog dialog;
        QVERIFY(!dialog.findChild<QLabel*>(QStringLiteral("labelPicture"))->pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(!dialog.windowIcon().isNull());
    }
};

VANTOREL_QTEST_MAIN(ResourcesTest)
#include "resources_test.moc"
