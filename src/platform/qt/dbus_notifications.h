#pragma once

#include "platform/desktop_notifications.h"

// Notifications through org.freedesktop.Notifications on the session bus.
// The call is not waited for: no service, no bubble, no error.
class DBusNotifications : public DesktopNotifications
{
public:
    void notify(const QString &summary, const QString &body) override;
};
