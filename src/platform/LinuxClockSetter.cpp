#include "platform/LinuxClockSetter.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace
{
const QString AdminNeeded = QStringLiteral("administrator rights are needed");

// Long enough for the user to type a password when the service asks for one.
constexpr int TimeServiceTimeoutMs = 120000;
} // namespace

PlatformResult LinuxClockSetter::SetUtc(qint64 unixSeconds)
{
    const timespec when{static_cast<time_t>(unixSeconds), 0};
    if (clock_settime(CLOCK_REALTIME, &when) == 0)
        return PlatformResult::Success();
    if (errno != EPERM)
        return PlatformResult::Failure(QString::fromLocal8Bit(std::strerror(errno)));
    return AskTimeService(unixSeconds);
}

PlatformResult LinuxClockSetter::AskTimeService(qint64 unixSeconds)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return PlatformResult::Failure(AdminNeeded);

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("/org/freedesktop/timedate1"),
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("SetTime"));
    const qlonglong microseconds = unixSeconds * 1000000LL;
    const bool relative = false;
    const bool interactive = true;
    call << microseconds << relative << interactive;
    call.setInteractiveAuthorizationAllowed(true);

    // The window stays responsive while a password dialog may be open.
    const QDBusMessage reply = bus.call(call, QDBus::BlockWithGui, TimeServiceTimeoutMs);
    if (reply.type() != QDBusMessage::ErrorMessage)
        return PlatformResult::Success();

    const QString name = reply.errorName();
    if (name == QLatin1String("org.freedesktop.timedate1.AutomaticTimeSyncEnabled"))
        return PlatformResult::Failure(QStringLiteral("automatic time synchronisation is on"));
    if (name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied") ||
        name == QLatin1String("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired") ||
        name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return PlatformResult::Failure(AdminNeeded);
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
        return PlatformResult::Failure(QStringLiteral("the time service did not answer"));
    return PlatformResult::Failure(reply.errorMessage().isEmpty() ? name : reply.errorMessage());
}
