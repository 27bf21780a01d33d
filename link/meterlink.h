#pragma once

#include <QBluetoothDeviceInfo>
#include <QBluetoothUuid>
#include <QByteArray>
#include <QLowEnergyCharacteristic>
#include <QLowEnergyController>
#include <QLowEnergyService>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QBluetoothDeviceDiscoveryAgent;

// How long a lost link is made again, and how often it is tried, in milliseconds. Tests shorten
// them; the program does not.
namespace Reconnect {
inline int window = 120000;
inline int every = 3000;
} // namespace Reconnect

// The link to one known meter: its Low Energy controller, the services found on it, the search
// that makes a forgotten meter known again, making the link again after a loss, and the identity
// of the meter it belongs to. Every report of those objects arrives here first, so once the link
// is gone no report of it, queued or not, reaches anyone.
class MeterLink : public QObject
{
    Q_OBJECT

public:
    MeterLink(const QBluetoothDeviceInfo &meter, QObject *parent);

    // The meter as the records know it: address and name, never a row.
    const QBluetoothDeviceInfo &meter() const { return identity; }
    // True while the link is on its way up: connecting, or searching for a forgotten meter.
    bool isBeingMade() const;
    // True once the user ended the link, as opposed to losing it.
    bool endedByUser() const { return userEnded; }
    // True while a lost link is being made again.
    bool isReconnecting() const { return attempts.isActive(); }
    // True once a lost link did not come back in time.
    bool gaveUp() const { return givenUp; }

    void open();
    // Makes a lost link again to the same meter, every few seconds, searching for it when BlueZ
    // has forgotten it or Bluetooth is off: connected() once it is up, disconnected() when the
    // window has passed without a frame. The link is back only once frames come again.
    void reconnect();
    void discoverServices();
    // Follows a service of the meter, unless it is Generic Access.
    void useService(const QBluetoothUuid &uuid);
    // Switches notifications on for the service whose details were reported last.
    void switchOnNotifications();
    // The user ends the link: nothing it reports reaches anyone from now on but its end.
    void end();

signals:
    void connected();
    void disconnected();
    // Queued: each service is taken up after the controller's report has returned.
    void serviceDiscovered(const QBluetoothUuid &uuid);
    void serviceStateChanged(QLowEnergyService::ServiceState state);
    void characteristicChanged(
        const QLowEnergyCharacteristic &characteristic, const QByteArray &value);
    // The link could not be made because Bluetooth is off or missing.
    void unavailable();
    // Each try to make a lost link again; whether Bluetooth is off or missing meanwhile.
    void reconnecting(bool bluetoothOff);

private:
    void attempt();
    void giveUp();
    void replaceController();
    bool isUp() const;
    void notified(const QLowEnergyCharacteristic &characteristic, const QByteArray &value);
    void failed(QLowEnergyController::Error error);
    void seen(const QBluetoothDeviceInfo &info);

    const QBluetoothDeviceInfo identity;
    QLowEnergyController *controller = nullptr;
    QLowEnergyService *reporting = nullptr;
    QBluetoothDeviceDiscoveryAgent *rescan = nullptr;
    QTimer attempts;
    QElapsedTimer since;
    bool wasUp = false;
    bool userEnded = false;
    bool givenUp = false;
};
