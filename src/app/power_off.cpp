#include "app/power_off.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

bool RequestPowerOff(QString* error)
{
    QDBusInterface manager(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                           QStringLiteral("org.freedesktop.login1.Manager"), QDBusConnection::systemBus());
    if (!manager.isValid()) {
        if (error) *error = manager.lastError().message().isEmpty() ? QStringLiteral("the login manager is not available")
                                                                    : manager.lastError().message();
        return false;
    }
    // true: the login manager may ask the user for authorisation.
    const QDBusReply<void> reply = manager.call(QStringLiteral("PowerOff"), true);
    if (!reply.isValid()) {
        if (error) *error = reply.error().message();
        return false;
    }
    return true;
}
