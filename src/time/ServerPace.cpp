#include "time/ServerPace.h"

#include "platform/Clock.h"

#include <QEventLoop>
#include <QTimer>
#include <cmath>

ServerPace::ServerPace(const Clock& clock) : clock(clock) {}

void ServerPace::WaitFor(const QString& server) const
{
    if (!lastConnection.contains(server))
        return;
    const double due = lastConnection.value(server) + IntervalSecs;
    // The wait clock says when; the timer only wakes the loop to ask it.
    for (double left; (left = due - clock.WaitClock()) > 0;) {
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(std::ceil(left * 1000)), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
}

void ServerPace::Connected(const QString& server, double at)
{
    lastConnection.insert(server, at);
}
