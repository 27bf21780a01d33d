#include "link/meterlink.h"
#include "link/adapter.h"
#include "link/search.h"

#include <QBluetoothDeviceDiscoveryAgent>

MeterLink::MeterLink(const QBluetoothDeviceInfo &meter, QObject *parent)
    : QObject(parent), identity(meter)
{ }

bool MeterLink::isBeingMade() const
{
    return controller->state() == QLowEnergyController::ConnectingState
        || (rescan && rescan->isActive());
}

void MeterLink::open()
{
    controller = QLowEnergyController::createCentral(identity, this);
    connect(controller, &QLowEnergyController::connected, this, &MeterLink::connected);
    connect(controller, &QLowEnergyController::disconnected, this, &MeterLink::disconnected);
    connect(controller, &QLowEnergyController::serviceDiscovered, this,
        &MeterLink::serviceDiscovered, Qt::QueuedConnection);
    connect(controller, &QLowEnergyController::errorOccurred, this, &MeterLink::failed);
    controller->connectToDevice();
}

void MeterLink::discoverServices()
{
    controller->discoverServices();
}

void MeterLink::useService(const QBluetoothUuid &uuid)
{
    if (uuid == QBluetoothUuid(QBluetoothUuid::ServiceClassUuid::GenericAccess))
        return;
    QLowEnergyService *service = controller->createServiceObject(uuid, this);
    if (!service)
        return;
    // The meter's services finish in any order, so the one that reported is the one to use.
    connect(service, &QLowEnergyService::stateChanged, this,
        [this, service](QLowEnergyService::ServiceState state) {
            reporting = service;
            emit serviceStateChanged(state);
        });
    connect(service, &QLowEnergyService::characteristicChanged, this,
        &MeterLink::characteristicChanged);
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

void MeterLink::end()
{
    userEnded = true;
    controller->disconnectFromDevice();
}

void MeterLink::failed(QLowEnergyController::Error error)
{
    // Without Bluetooth nothing can be linked, nor searched for.
    if (Adapter::unavailable()) {
        emit unavailable();
        return;
    }
    if (error != QLowEnergyController::UnknownRemoteDeviceError)
        return;
    // BlueZ forgets unpaired Low Energy devices after a while, and then refuses to connect to
    // a stored address at once. A short search makes it known again.
    if (rescan)
        return;
    rescan = new QBluetoothDeviceDiscoveryAgent(this);
    rescan->setLowEnergyDiscoveryTimeout(Search::timeout);
    // Queued: a device may be reported inside start(), and the failed controller is still
    // reporting its error here.
    connect(rescan, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, this, &MeterLink::seen,
        Qt::QueuedConnection);
    connect(rescan, &QBluetoothDeviceDiscoveryAgent::deviceUpdated, this, &MeterLink::seen,
        Qt::QueuedConnection);
    rescan->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
}

void MeterLink::seen(const QBluetoothDeviceInfo &info)
{
    // Reports queued before the search stopped come all the same.
    if (info.address() != identity.address() || !rescan->isActive())
        return;
    rescan->stop();
    delete controller;
    open();
}
