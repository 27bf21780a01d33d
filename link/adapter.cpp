#include "link/adapter.h"

#include <QBluetoothLocalDevice>

namespace Adapter {

bool unavailable()
{
    const QBluetoothLocalDevice local;
    return !local.isValid() || local.hostMode() == QBluetoothLocalDevice::HostPoweredOff;
}

QString unavailableTitle(int language)
{
    return language == 1 ? QStringLiteral("Bluetooth unavailable")
                         : QStringLiteral("Bluetooth nicht verfügbar");
}

QString unavailableText(int language)
{
    return language == 1
        ? QStringLiteral("Bluetooth is switched off or missing on this computer. Please switch "
                         "Bluetooth on and try again.")
        : QStringLiteral("Bluetooth ist an diesem Computer ausgeschaltet oder nicht vorhanden. "
                         "Bitte schalten Sie Bluetooth ein und versuchen Sie es erneut.");
}

} // namespace Adapter
