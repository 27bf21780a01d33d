#pragma once

#include "support/modalanswer.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

// Points both D-Bus buses at a socket that is not there, until a test starts its own.
inline void noBuses(const QString &folder)
{
    const QByteArray nowhere = "unix:path=" + folder.toLocal8Bit() + "/no-bus";
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", nowhere);
    qputenv("DBUS_SESSION_BUS_ADDRESS", nowhere);
}

// Like QTEST_MAIN, but every test process gets its own empty settings folder, so no test ever
// reads or writes the user's real store, reaches the machine's D-Bus only through buses a test
// starts, runs offscreen unless told otherwise, and fails on any box that no test answer
// expects.
#define KALVION_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QTemporaryDir config;                                                                      \
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());                                   \
        noBuses(config.path());                                                                    \
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))                                         \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        QApplication app(argc, argv);                                                              \
        ModalAnswer noBoxExpected;                                                                 \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
