#pragma once

#include "platform/PlatformResult.h"

#include <functional>

class QObject;

// Sets the system clock.
class ClockSetter
{
public:
    using Done = std::function<void(const PlatformResult&)>;

    virtual ~ClockSetter() = default;

    // Starts setting the clock, in one operation, to the given instant in
    // microseconds since 1 January 1970 00:00:00 UTC. done runs once with the
    // outcome: at once, or much later, since the system may first ask the
    // user for a password. It never runs once context is destroyed.
    virtual void SetUtc(qint64 unixMicroseconds, QObject* context, Done done) = 0;
};
