#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>

class QWidget;
class connectionScreen;

// The virtual meter behind a mock BlueZ on a bus of this test process's own. Qt binds to the
// system bus once per process, so a test process starts one before its first Bluetooth object
// and resets it between test functions.
class VirtualMeter
{
public:
    VirtualMeter();
    ~VirtualMeter();

    bool isRunning() const { return !address.isEmpty(); }
    // Calls a control method; a D-Bus error fails the calling test through its message.
    QDBusMessage call(const QString &method, const QVariantList &arguments = {});
    QStringList strings(const QString &method, const QVariantList &arguments = {})
    {
        return call(method, arguments).arguments().value(0).toStringList();
    }
    // Back to a fresh start: keys adapter, powered, meter, cached, order, streaming.
    void reset(const QVariantMap &parameters = {});

private:
    QProcess process;
    QString address;
    QDBusConnection bus{ QString() };
};

// Selects row `row` of the main window's meter list, presses connect and waits until the meter
// notifies; gives the live screen then shown, or null when the link did not come up.
connectionScreen *connectMeter(QWidget *window, VirtualMeter &meter, int row = 0);

// Sends one of the virtual meter's canned frames and waits until the live screen decoded it.
bool sendFrame(VirtualMeter &meter, connectionScreen *screen, const QString &canned);
