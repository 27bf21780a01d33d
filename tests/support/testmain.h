#pragma once

#include "support/modalanswer.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

// Like QTEST_MAIN, but every test process gets its own empty settings folder, so no test ever
// reads or writes the user's real store, runs offscreen unless told otherwise, and fails on
// any box that no test answer expects.
#define KALVION_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QTemporaryDir config;                                                                      \
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());                                   \
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))                                         \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        QApplication app(argc, argv);                                                              \
        ModalAnswer noBoxExpected;                                                                 \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
