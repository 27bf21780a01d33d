#include "link/meterlink.h"
#include "link/adapter.h"
#include "link/search.h"

#include <QBluetoothDeviceDiscoveryAgent>

MeterLink::MeterLink(const QBluetoothDeviceInfo &meter, QObject *parent)
    : QObject(parent), identity(meter)
{
    attempts.setInterval(Reconnect::every);
    connect(&attempts, &QTimer::timeout, this, &MeterLink::attempt);
}

bool MeterLink::isBeingMade() const
{
    return (controller && controller->state() == QLowEnergyController::ConnectingState)
        || (rescan && rescan->isActive());
}

void MeterLink::open()
{
    controller = QLowEnergyController::createCentral(identity, this);
    reporting = nullptr;
    connect(controller, &QLowEnergyController::connected, this, [this] {
        wasUp = true;
        emit connected();
    });
    // An attempt to make a lost link again that does not come up is no loss of its own.
    connect(controller, &QLowEnergyController::disconnected, this, [this] {
        if (!isReconnecting())
            emit disconnected();
    });
    connect(controller, &QLowEnergyController::serviceDiscovered, this,
        &MeterLink::serviceDiscovered, Qt::QueuedConnection);
    connect(controller, &QLowEnergyController::errorOccurred, this, &MeterLink::failed);
    controller->connectToDevice();
}

void MeterLink::reconnect()
{
    since.start();
    attempts.start();
    attempt();
}

// One try, unless one is still under way or the link is up and on its way to notify; past the
// window, the link is given up.
void MeterLink::attempt()
{
    if (since.hasExpired(Reconnect::window)) {
        giveUp();
        return;
    }
    if (isBeingMade() || isUp())
        return;
    emit reconnecting(Adapter::unavailable());
    replaceController();
}

void MeterLink::giveUp()
{
    attempts.stop();
    if (rescan)
        rescan->stop();
    givenUp = true;
    // A link that came up but never notified is ended too; its end is not reported again.
    controller->disconnect(this);
    controller->disconnectFromDevice();
    emit disconnected();
}

// The first try runs inside the report of the lost link, and BlueZ's back end may still use the
// controller once its report returns: it is deleted later.
void MeterLink::replaceController()
{
    controller->disconnect(this);
    controller->deleteLater();
    open();
}

bool MeterLink::isUp() const
{
    switch (controller->state()) {
    case QLowEnergyController::ConnectedState:
    case QLowEnergyController::DiscoveringState:
    case QLowEnergyController::DiscoveredState:
        return true;
    default:
        return false;
    }
}

void MeterLink::discoverServices()
{
    controller->discoverServices();
}

void MeterLink::useService(const QBluetoothUuid &uuid)
{
    if (uuid == QBluetoothUuid(QBluetoothUuid::ServiceClassUuid::GenericAccess))
        return;
    // Owned by the controller, so the services of a link that was lost go with it.
    QLowEnergyService *service = controller->createServiceObject(uuid, controller);
    if (!service)
        return;
    // The meter's services finish in any order, so the one that reported is the one to use.
    connect(service, &QLowEnergyService::stateChanged, this,
        [this, service](QLowEnergyService::ServiceState state) {
            reporting = service;
            emit serviceStateChanged(state);
        });
    connect(service, &QLowEnergyService::characteristicChanged, this, &MeterLink::notified);
    service->discoverDetails(QLowEnergyService::FullDiscovery);
}

void MeterLink::switchOnNotifications()
{
    const QList<QLowEnergyCharacteristic> characteristics = reporting->characteristics();
    if (characteristics.isEmpty())
        return;
    const QLowEnergyDescriptor configuration = characteristics.first().descriptor(
        QBluetoothUuid::DescriptorType::ClientCharacteristicConfiguration);
    if (!configuration.isValid())
        return;
    reporting->writeDescriptor(configuration, QByteArray::fromHex("0100"));
}

void MeterLink::notified(
    const QLowEnergyCharacteristic &characteristic, const QByteArray &value)
{
    // A frame that was on its way when the user ended the link belongs to no one.
    if (userEnded)
        return;
    attempts.stop();
    emit characteristicChanged(characteristic, value);
}

void MeterLink::end()
{
    userEnded = true;
    if (!isReconnecting()) {
        controller->disconnectFromDevice();
        return;
    }
    // No link is up to report its end, so the end is reported from here, later, as a link's
    // would be.
    attempts.stop();
    if (rescan)
        rescan->stop();
    controller->disconnect(this);
    controller->disconnectFromDevice();
    QMetaObject::invokeMethod(this, &MeterLink::disconnected, Qt::QueuedConnection);
}

void MeterLink::failed(QLowEnergyController::Error error)
{
    // A link that was up and fails is lost, whatever the reason: an adapter pulled out reports
    // its meter gone before the link down. While the link is made again, the meter may be out
    // of reach and Bluetooth may come back; the attempts go on either way, without a word.
    if (wasUp && !isReconnecting())
        return;
    if (!isReconnecting() && Adapter::unavailable()) {
        emit unavailable();
        return;
    }
    if (error != QLowEnergyController::UnknownRemoteDeviceError)
        return;
    // BlueZ forgets unpaired Low Energy devices after a while, and then refuses to connect to
    // a stored address at once. A short search makes it known again.
    if (!rescan) {
        rescan = new QBluetoothDeviceDiscoveryAgent(this);
        rescan->setLowEnergyDiscoveryTimeout(Search::timeout);
        // Queued: a device may be reported inside start(), and the failed controller is still
        // reporting its error here.
        connect(rescan, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, this,
            &MeterLink::seen, Qt::QueuedConnection);
        connect(rescan, &QBluetoothDeviceDiscoveryAgent::deviceUpdated, this, &MeterLink::seen,
            Qt::QueuedConnection);
    } else if (rescan->isActive() || !isReconnecting()) {
        return;
    }
    rescan->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
}

void MeterLink::seen(const QBluetoothDeviceInfo &info)
{
    // Reports queued before the search stopped come all the same.
    if (info.address() != identity.address() || !rescan->isActive())
        return;
    rescan->stop();
    replaceController();
}
