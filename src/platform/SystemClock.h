#pragma once

#include "platform/Clock.h"

#include <QElapsedTimer>

class SystemClock : public Clock
{
public:
    SystemClock();
    double Now() const override;
    double PreciseNow() const override;
    double WaitClock() const override;

private:
    QElapsedTimer monotonic;
};
