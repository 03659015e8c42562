#include "time/ServerPace.h"

#include "platform/Clock.h"

ServerPace::ServerPace(const Clock& clock) : clock(clock) {}

double ServerPace::DueIn(const QString& server) const
{
    const auto last = lastConnection.constFind(server);
    return last == lastConnection.cend() ? 0 : qMax(0.0, *last + IntervalSecs - clock.WaitClock());
}

void ServerPace::Connected(const QString& server, double at)
{
    lastConnection.insert(server, at);
}
