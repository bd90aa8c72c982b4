#pragma once

#include <QString>

// Tells the desktop something happened while the user looked elsewhere
// (a bubble from the session's notification service). Without a service
// nothing is shown and nothing fails.
class DesktopNotifications
{
public:
    virtual ~DesktopNotifications() = default;
    virtual void notify(const QString &summary, const QString &body) = 0;
};
