#pragma once

#include "platform/ClockSetter.h"

// Sets the clock directly where the process may, else asks systemd-timedated
// on the system bus, which may ask the user for a password.
class LinuxClockSetter : public ClockSetter
{
public:
    PlatformResult SetUtc(qint64 unixSeconds) override;

private:
    static PlatformResult AskTimeService(qint64 unixSeconds);
};
