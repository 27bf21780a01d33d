#pragma once

#include <QBluetoothDeviceInfo>

// Searches for meters over Bluetooth Low Energy.
namespace Search {

// A device a search reports is a meter: Low Energy only, under the meter's advertised name.
inline bool isMeter(const QBluetoothDeviceInfo &info)
{
    return info.coreConfigurations() == QBluetoothDeviceInfo::LowEnergyCoreConfiguration
        && info.name() == QLatin1String("M27K53C");
}

// How long a search runs, in milliseconds: the discovery dialog's, and the short one that makes
// a meter BlueZ has forgotten known again before a link. Tests shorten it; the program does not.
inline int timeout = 10000;

} // namespace Search
