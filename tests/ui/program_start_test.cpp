// The Vantorel program itself: it starts with a settings store of its own, writes the style
// names it can choose from, and keeps running its window until it is told to stop.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/qtest_main.h"
#include "tests/support/test_process.h"

class ProgramStartTest : public QObject {
    Q_OBJECT

private slots:
    void theProgramStartsAndStaysUp() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString config = home.filePath(QStringLiteral("config"));
        QVERIFY(QDir().mkpath(config + QStringLiteral("/Kestrine")));
        // Past the first start, so no help page is asked for.
        QFile store(config + QStringLiteral("/Kestrine/Vantorel.conf"));
        QVERIFY(store.open(QIODevice::WriteOnly));
        store.write("[General]\nfirstlaunch=true\n");
        store.close();

        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        environment.insert(QStringLiteral("HOME"), home.path());
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QString::fromStdString(testsupport::programPath("Vantorel")), QStringList());
        QVERIFY(program.waitForStarted());
        const bool ended = program.waitForFinished(3000);
        const QByteArray output = program.readAll();
        QVERIFY2(!ended, output.constData());
        QVERIFY2(output.contains("styles:") && output.contains("Fusion"), output.constData());
        program.kill();
        program.waitForFinished();
    }
};

VANTOREL_QTEST_MAIN(ProgramStartTest)
#include "program_start_test.moc"
