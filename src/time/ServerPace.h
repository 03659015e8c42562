#pragma once

#include <QHash>
#include <QString>

class Clock;

// The public time servers refuse, and may take for an attack, a client that
// asks one of them more often than once every four seconds: in one run, a
// server is connected to at most once in that time. Only connections count; a
// name that does not exist or an attempt that reached no server cost it nothing.
class ServerPace
{
public:
    explicit ServerPace(const Clock& clock);

    // Seconds until the server may be asked again; 0 when it may be now.
    double DueIn(const QString& server) const;
    // A connection to the server was made at that moment of the wait clock.
    void Connected(const QString& server, double at);

    static constexpr double IntervalSecs = 4;

private:
    const Clock& clock;
    QHash<QString, double> lastConnection;
};
