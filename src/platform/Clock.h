#pragma once

// The PC's clock as the program reads it.
class Clock
{
public:
    virtual ~Clock() = default;

    // Present local date and time as a date value (days since 30 Dec 1899,
    // the fraction being the time of day), in whole seconds.
    virtual double Now() const = 0;
    // The same with the fraction of the second, to the millisecond.
    virtual double PreciseNow() const = 0;

    // Elapsed seconds on a clock that neither wraps at midnight nor moves when
    // the system clock is set; only differences are meaningful.
    virtual double WaitClock() const = 0;
};
