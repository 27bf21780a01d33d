#include "support/virtualmeter.h"

#include "live/connectionscreen.h"
#include "support/widgets.h"

#include <QDBusInterface>
#include <QPushButton>
#include <QTest>

VirtualMeter::VirtualMeter()
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start("/usr/bin/python3",
        { KALVION_SOURCE_DIR "/tools/virtualmeter/virtualmeter", "--no-stream" });
    while (address.isEmpty() && process.waitForReadyRead(10000)) {
        while (process.canReadLine() && address.isEmpty()) {
            const QByteArray line = process.readLine().trimmed();
            if (line.startsWith("DBUS_SYSTEM_BUS_ADDRESS="))
                address = QString::fromUtf8(line.mid(line.indexOf('=') + 1));
        }
    }
    if (address.isEmpty())
        return;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
    qputenv("BLUETOOTH_FORCE_DBUS_LE_VERSION", "5.66");
    bus = QDBusConnection::connectToBus(address, "virtualmeter-control");
}

VirtualMeter::~VirtualMeter()
{
    QDBusConnection::disconnectFromBus("virtualmeter-control");
    process.terminate();
    process.waitForFinished(5000); // else the process object kills it
}

QDBusMessage VirtualMeter::call(const QString &method, const QVariantList &arguments)
{
    QDBusInterface control("org.bluez", "/", "org.kalvion.VirtualMeter", bus);
    const QDBusMessage reply = control.callWithArgumentList(QDBus::Block, method, arguments);
    if (reply.type() == QDBusMessage::ErrorMessage)
        qWarning(
            "virtual meter: %s failed: %s", qPrintable(method), qPrintable(reply.errorMessage()));
    return reply;
}

void VirtualMeter::reset(const QVariantMap &parameters)
{
    call("Reset", { parameters });
    // Let Qt see what changed before the test goes on.
    QTest::qWait(100);
}

connectionScreen *connectMeter(QWidget *window, VirtualMeter &meter, int row)
{
    child<QListWidget>(window, "deviceList")->setCurrentRow(row);
    child<QPushButton>(window, "connectButton")->click();
    const bool notifying
        = QTest::qWaitFor([&meter] { return !meter.strings("NotifyingPaths").isEmpty(); }, 10000);
    return notifying ? shown<connectionScreen>() : nullptr;
}

bool sendFrame(VirtualMeter &meter, connectionScreen *screen, const QString &canned)
{
    const QString hex = meter.call("CannedFrame", { canned }).arguments().value(0).toString();
    meter.call("SendFrame", { hex });
    return QTest::qWaitFor([&] { return screen->receivedData == hex.toLatin1(); }, 3000);
}
