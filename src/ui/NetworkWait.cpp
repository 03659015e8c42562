#include "ui/NetworkWait.h"

#include "platform/Clock.h"
#include "platform/NetworkMonitor.h"
#include "time/cInetTime.h"

#include <QEventLoop>
#include <QTimer>
#include <cmath>

NetworkWait::NetworkWait(NetworkMonitor& monitor, const Clock& clock, double limitSecs)
    : monitor(monitor), clock(clock), limitSecs(limitSecs), start(clock.WaitClock())
{
    monitor.Watch();
}

std::unique_ptr<cInetTime> NetworkWait::Run(const Attempt& attempt,
                                            const std::function<void()>& waiting)
{
    auto query = attempt();
    while (NotUpYet(*query)) {
        waiting();
        Pause();
        query = attempt();
    }
    return query;
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
    QEventLoop loop;
    QTimer next;
    next.setSingleShot(true);
    next.setTimerType(Qt::PreciseTimer);
    connect(&next, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&monitor, &NetworkMonitor::Changed, &loop, [this, &loop] {
        if (monitor.Connection() == NetworkMonitor::State::Up)
            loop.quit();
    });
    const double left = start + limitSecs - clock.WaitClock();
    next.start(static_cast<int>(std::ceil(qBound(0.0, left, RetryMs / 1000.0) * 1000)));
    loop.exec();
}

double NetworkWait::Waited() const
{
    return Waiting() ? clock.WaitClock() - waitingSince : 0;
}

QString NetworkWait::GiveUpReason() const
{
    return QStringLiteral("no network connection came up within %1 seconds").arg(limitSecs);
}
