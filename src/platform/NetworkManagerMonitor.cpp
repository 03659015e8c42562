#include "platform/NetworkManagerMonitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace
{
const QString Service = QStringLiteral("org.freedesktop.NetworkManager");
const QString Path = QStringLiteral("/org/freedesktop/NetworkManager");

// NetworkManager's NM_STATE_CONNECTED_LOCAL: from there on a connection is up,
// and a server on the local network may answer even without a default route.
constexpr uint ConnectedLocal = 50;
} // namespace

void NetworkManagerMonitor::Watch()
{
    // Connected on first use only: most runs find the network up at once.
    if (watching)
        return;
    watching = true;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    bus.connect(Service, Path, Service, QStringLiteral("StateChanged"), this,
                SLOT(StateChanged(uint)));
    QDBusMessage get = QDBusMessage::createMethodCall(
        Service, Path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << Service << QStringLiteral("State");
    auto* answer = new QDBusPendingCallWatcher(bus.asyncCall(get), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this, answer] {
        answer->deleteLater();
        const QDBusMessage reply = answer->reply();
        // No NetworkManager on the bus: no monitor, the state stays Unknown.
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            StateChanged(reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt());
    });
}

void NetworkManagerMonitor::StateChanged(uint managerState)
{
    const State now = managerState == 0               ? State::Unknown
                      : managerState < ConnectedLocal ? State::Down
                                                      : State::Up;
    if (now == state)
        return;
    state = now;
    emit Changed();
}
