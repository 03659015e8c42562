#pragma once

#include "platform/PlatformResult.h"

// Sets the system clock.
class ClockSetter
{
public:
    virtual ~ClockSetter() = default;

    // Sets the clock, in one operation, to the given whole second since
    // 1 January 1970 00:00:00 UTC.
    virtual PlatformResult SetUtc(qint64 unixSeconds) = 0;
};
