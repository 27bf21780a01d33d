#pragma once

#include <QString>

// Desktop notifications, for what the user should hear of while away from the window: sent to
// the desktop's notification service, which shows them even over a locked screen and keeps
// them. Without such a service nothing is shown and nothing is said.
namespace Notifications {

void send(const QString &summary, const QString &body);

} // namespace Notifications
