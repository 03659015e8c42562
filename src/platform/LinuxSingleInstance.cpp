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
        call << PlatformData();
        // The other copy answers from its event loop, which nothing blocks.
        if (bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage)
            return Start::HandedOver;
    }
    return Start::Alone;
}

QVariantMap LinuxSingleInstance::PlatformData()
{
    // The desktop gave this start a token that lets a window take the focus:
    // on Wayland in XDG_ACTIVATION_TOKEN, on X11 in DESKTOP_STARTUP_ID. It is
    // the open window that needs it now.
    QVariantMap data;
    for (const auto& [key, variable] : {std::pair{"activation-token", "XDG_ACTIVATION_TOKEN"},
                                        std::pair{"desktop-startup-id", "DESKTOP_STARTUP_ID"}})
        if (qEnvironmentVariableIsSet(variable))
            data.insert(QLatin1String(key), qEnvironmentVariable(variable));
    return data;
}

void LinuxSingleInstance::Activate(const QVariantMap& platformData)
{
    // Qt's Wayland plugin hands this variable to the compositor when the
    // window next asks to be activated, then drops it. A desktop that gave
    // only a startup id (an X11 launcher) gave the same token there.
    const QString token = platformData
                              .value(QStringLiteral("activation-token"),
                                     platformData.value(QStringLiteral("desktop-startup-id")))
                              .toString();
    if (!token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    emit ShowRequested();
}
