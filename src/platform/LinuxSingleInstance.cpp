#include "platform/LinuxSingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

LinuxSingleInstance::LinuxSingleInstance(const QString& name)
    : name(name), path(QLatin1Char('/') + QString(name).replace(QLatin1Char('.'), QLatin1Char('/')))
{
}

SingleInstance::Start LinuxSingleInstance::Claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return Start::Alone;
    // Served before the name is owned, so that a later start never finds the
    // name without the object.
    bus.registerObject(path, this, QDBusConnection::ExportScriptableSlots);
    // Twice: the copy that owns the name may end between asking and calling.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> owned =
            bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        if (!owned.isValid())
            return Start::Alone;
        if (owned.value() == QDBusConnectionInterface::ServiceRegistered)
            return Start::First;
        QDBusMessage call = QDBusMessage::createMethodCall(
            name, path, QStringLiteral("org.freedesktop.Application"), QStringLiteral("Activate"));
        call << QVariantMap();
        // The other copy answers from its event loop, which nothing blocks.
        if (bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage)
            return Start::HandedOver;
    }
    return Start::Alone;
}

void LinuxSingleInstance::Activate(const QVariantMap&)
{
    emit ShowRequested();
}
