#include "time/NetworkWait.h"

#include "platform/Clock.h"
#include "platform/NetworkMonitor.h"
#include "time/cInetTime.h"

#include <cmath>

NetworkWait::NetworkWait(NetworkMonitor& monitor, const Clock& clock, double limitSecs)
    : monitor(monitor), clock(clock), limitSecs(limitSecs), start(clock.WaitClock())
{
    monitor.Watch();
    next.setSingleShot(true);
    next.setTimerType(Qt::PreciseTimer);
    connect(&next, &QTimer::timeout, this, &NetworkWait::RetryDue);
    // A new connection brings the retry forward; the monitor never holds one back.
    connect(&monitor, &NetworkMonitor::Changed, this, [this] {
        if (next.isActive() && this->monitor.Connection() == NetworkMonitor::State::Up) {
            next.stop();
            emit RetryDue();
        }
    });
}

bool NetworkWait::NotUpYet(const cInetTime& query)
{
    // Down means no resolver or no route; or, where the monitor says there
    // is no connection, no server reached at all. Answers are never retried.
    const bool down = query.Reached() == cInetTime::Reach::NetworkDown ||
                      (query.Reached() == cInetTime::Reach::Nothing &&
                       monitor.Connection() == NetworkMonitor::State::Down);
    if (!down)
        return false;
    if (clock.WaitClock() - start >= limitSecs) {
        gaveUp = true;
        return false;
    }
    if (!Waiting())
        waitingSince = clock.WaitClock();
    return true;
}

void NetworkWait::Pause()
{
    const double left = start + limitSecs - clock.WaitClock();
    next.start(static_cast<int>(std::ceil(qBound(0.0, left, RetryMs / 1000.0) * 1000)));
}

double NetworkWait::Waited() const
{
    return Waiting() ? clock.WaitClock() - waitingSince : 0;
}

QString NetworkWait::GiveUpReason() const
{
    return QStringLiteral("no network connection came up within %1 seconds").arg(limitSecs);
}
