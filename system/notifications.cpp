#include "system/notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

namespace Notifications {

void send(const QString &summary, const QString &body)
{
    QDBusMessage notify
        = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // The icon is installed under the desktop entry's name.
    const QString desktopEntry = QStringLiteral(KALVION_ID);
    const QVariantMap hints{ { QStringLiteral("desktop-entry"), desktopEntry } };
    // No reply is waited for: a missing service must not hold up the window.
    notify << QStringLiteral("Kalvion") << 0u << desktopEntry << summary << body << QStringList()
           << hints << -1;
    QDBusConnection::sessionBus().asyncCall(notify);
}

} // namespace Notifications
