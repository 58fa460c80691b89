#pragma once
// Entry of a Qt Test program for widgets: one QApplication on the offscreen platform (unless the
// environment chose another), a configuration folder of the program's own (settings store and
// movies folder), and every QDesktopServices::openUrl caught (tests/support/opened_urls.h), so
// no test opens a real browser or file manager.
//
//     class MainWindowTest : public QObject { Q_OBJECT  private slots: ... };
//     VANTOREL_QTEST_MAIN(MainWindowTest)
//     #include "main_window_test.moc"
#include <QtTest>

namespace testsupport {

// Runs `test` under the private environment; the process's exit code.
int runQtTest(QObject& test, int argc, char** argv);

// Makes the application object: the same private environment as runQtTest, for tests that need
// it before their test object is built.
int runQtTestMain(int argc, char** argv, QObject* (*makeTest)());

}  // namespace testsupport

#define VANTOREL_QTEST_MAIN(TestClass)                                                       \
    int main(int argc, char** argv) {                                                        \
        return testsupport::runQtTestMain(argc, argv, []() -> QObject* { return new TestClass; }); \
    }
