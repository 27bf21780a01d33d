#pragma once

#include <QBluetoothDeviceInfo>
#include <QBluetoothUuid>
#include <QByteArray>
#include <QLowEnergyCharacteristic>
#include <QLowEnergyController>
#include <QLowEnergyService>
#include <QObject>

class QBluetoothDeviceDiscoveryAgent;

// The link to one known meter: its Low Energy controller, the services found on it, the search
// that makes a forgotten meter known again, and the identity of the meter it belongs to. Every
// report of those objects arrives here first, so once the link is gone no report of it, queued
// or not, reaches anyone.
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

    void open();
    void discoverServices();
    // Follows a service of the meter, unless it is Generic Access.
    void useService(const QBluetoothUuid &uuid);
    // Switches notifications on for the service whose details were reported last.
    void switchOnNotifications();
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

private:
    void failed(QLowEnergyController::Error error);
    void seen(const QBluetoothDeviceInfo &info);

    const QBluetoothDeviceInfo identity;
    QLowEnergyController *controller = nullptr;
    QLowEnergyService *reporting = nullptr;
    QBluetoothDeviceDiscoveryAgent *rescan = nullptr;
    bool userEnded = false;
};
