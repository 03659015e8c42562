#include "platform/LinuxNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

PlatformResult LinuxNotifier::Notify(const QString& summary, const QString& body)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Application name, no notification to replace, the program's icon,
    // no actions, the menu entry it belongs to, expiring as the desktop decides.
    call << QStringLiteral("Quorvane") << 0U << QStringLiteral("quorvane") << summary << body
         << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral(QUORVANE_APP_ID)}} << -1;
    // Blocking, and bounded: the program ends right after, and an answer
    // still on its way would be dropped with the call.
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, TimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage
               ? PlatformResult::Success()
               : PlatformResult::Failure(reply.errorMessage());
}
