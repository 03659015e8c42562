#include "platform/LinuxClockSetter.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <cerrno>
#include <cstring>

namespace
{
const QString AdminNeeded = QStringLiteral("administrator rights are needed");

PlatformResult FromTimeService(const QDBusError& error)
{
    if (!error.isValid())
        return PlatformResult::Success();
    const QString name = error.name();
    if (name == QLatin1String("org.freedesktop.timedate1.AutomaticTimeSyncEnabled"))
        return PlatformResult::Failure(QStringLiteral("automatic time synchronisation is on"));
    if (error.type() == QDBusError::AccessDenied ||
        name == QLatin1String("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"))
        return PlatformResult::Failure(AdminNeeded);
    if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout)
        return PlatformResult::Failure(
            QStringLiteral("the time service did not answer in time; it may still set the clock "
                           "once the request is granted"));
    return PlatformResult::Failure(error.message().isEmpty() ? name : error.message());
}
} // namespace

LinuxClockSetter::LinuxClockSetter(const QString& busAddress, int timeoutMs, DirectSetter direct)
    : busAddress(busAddress), timeoutMs(timeoutMs), direct(std::move(direct))
{
}

int LinuxClockSetter::SetRealtimeClock(const timespec& when)
{
    return clock_settime(CLOCK_REALTIME, &when) == 0 ? 0 : errno;
}

void LinuxClockSetter::SetUtc(qint64 unixMicroseconds, QObject* context, Done done)
{
    // Connected on first use only: most runs never set the clock.
    QDBusConnection bus = busAddress.isEmpty()
                              ? QDBusConnection::systemBus()
                              : QDBusConnection::connectToBus(busAddress, busAddress);
    if (!bus.isConnected()) {
        done(SetDirectly(unixMicroseconds));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("/org/freedesktop/timedate1"),
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("SetTime"));
    const bool relative = false;
    const bool interactive = true;
    call << qlonglong(unixMicroseconds) << relative << interactive;
    call.setInteractiveAuthorizationAllowed(true);

    // Answered later, in the event loop: the window goes on taking clicks
    // while a password dialog is open.
    auto* answer = new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMs), context);
    QObject::connect(answer, &QDBusPendingCallWatcher::finished, context,
                     [this, unixMicroseconds, done, answer] {
                         answer->deleteLater();
                         const QDBusError error = answer->error();
                         if (error.type() == QDBusError::ServiceUnknown)
                             done(SetDirectly(unixMicroseconds));
                         else
                             done(FromTimeService(error));
                     });
}

PlatformResult LinuxClockSetter::SetDirectly(qint64 unixMicroseconds) const
{
    const timespec when{static_cast<time_t>(unixMicroseconds / 1000000),
                        static_cast<long>(unixMicroseconds % 1000000 * 1000)};
    const int error = direct(when);
    if (error == 0)
        return PlatformResult::Success();
    return PlatformResult::Failure(error == EPERM ? AdminNeeded
                                                  : QString::fromLocal8Bit(std::strerror(error)));
}
