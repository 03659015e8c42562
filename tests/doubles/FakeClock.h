#pragma once

#include "platform/Clock.h"
#include "platform/DateValue.h"

#include <QDateTime>
#include <QElapsedTimer>

// A PC clock that shows whatever the test sets; the wait clock stays real,
// since the wait's own timer runs on real time.
class FakeClock : public Clock
{
public:
    FakeClock() { monotonic.start(); }

    double Now() const override { return now; }
    double WaitClock() const override { return monotonic.nsecsElapsed() / 1e9; }

    void Set(const QDate& date, const QTime& time) { now = DateValue::FromDateTime(date, time); }
    void Set(double dateValue) { now = dateValue; }
    void AddSeconds(qint64 seconds) { now += seconds / 86400.0; }

private:
    double now = DateValue::FromDateTime(QDate(2005, 6, 15), QTime(12, 0, 0));
    QElapsedTimer monotonic;
};
