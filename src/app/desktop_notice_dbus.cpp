#include "app/desktop_notice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

void notifyDesktop(const QString &summary, const QString &body, bool urgent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Urgency 2 (critical) stays on screen until the operator dismisses it.
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(uchar(urgent ? 2 : 1))}};
    notify << QStringLiteral("Vantrel Control") << uint(0) << QStringLiteral("dialog-warning") << summary << body
           << QStringList() << hints << int(-1);
    // Sent without waiting: a desktop that is slow or has no service never holds the program up.
    bus.asyncCall(notify);
}
