#include "platform/SystemClock.h"

#include "time/DateValue.h"

#include <QDateTime>

SystemClock::SystemClock()
{
    monotonic.start();
}

double SystemClock::Now() const
{
    // Whole seconds, so that the display shows what the user reads on the clock.
    QDateTime now = QDateTime::currentDateTime();
    return DateValue::FromDateTime(now.date(), now.time().addMSecs(-now.time().msec()));
}

double SystemClock::PreciseNow() const
{
    const QDateTime now = QDateTime::currentDateTime();
    return DateValue::FromDateTime(now.date(), now.time());
}

double SystemClock::WaitClock() const
{
    // QElapsedTimer is monotonic on Linux: setting the clock does not move it.
    return monotonic.nsecsElapsed() / 1e9;
}
