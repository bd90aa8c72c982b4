// Desktop notifications over the session bus.
#include "platform/qt/dbus_notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

void DBusNotifications::notify(const QString &summary, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    call << QStringLiteral("Korvan") << uint(0) << QStringLiteral("korvan") << summary << body << QStringList()
         << QVariantMap() << int(-1);
    // Sent without waiting: a missing service only makes an error reply nobody reads.
    bus.call(call, QDBus::NoBlock);
}
