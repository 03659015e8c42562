#pragma once

#include "platform/ClockSetter.h"

#include <QString>
#include <ctime>

// Asks systemd-timedated on the system bus, which also sets the hardware
// clock and may ask the user for a password; sets the clock directly only
// where there is no bus or no time service on it.
class LinuxClockSetter : public ClockSetter
{
public:
    // Sets the clock directly; 0 or an errno value.
    using DirectSetter = std::function<int(const timespec&)>;

    // busAddress empty: the system bus. timeoutMs: how long the time service
    // may take, long enough for the user to type a password.
    explicit LinuxClockSetter(const QString& busAddress = {}, int timeoutMs = 120000,
                              DirectSetter direct = SetRealtimeClock);

    void SetUtc(qint64 unixMicroseconds, QObject* context, Done done) override;

    static int SetRealtimeClock(const timespec& when);

private:
    PlatformResult SetDirectly(qint64 unixMicroseconds) const;

    QString busAddress;
    int timeoutMs;
    DirectSetter direct;
};
