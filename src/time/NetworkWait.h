#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class Clock;
class NetworkMonitor;
class cInetTime;

// The start-up synchronisation's patience. At logon the network often comes
// up some seconds after the session starts: a query that finds it down is
// tried again every two seconds, and at once when the monitor reports a
// connection, for at most a minute. Nobody waits on a button's press: it
// reports at once.
class NetworkWait : public QObject
{
    Q_OBJECT
public:
    NetworkWait(NetworkMonitor& monitor, const Clock& clock, double limitSecs);

    // Whether the query found the network not up yet and there is time left
    // to wait for it; from the first such query on, the wait is under way.
    bool NotUpYet(const cInetTime& query);
    // RetryDue() follows when the next query is due.
    void Pause();

    bool Waiting() const { return waitingSince >= 0; }
    // Seconds from the first query that found the network down until now.
    double Waited() const;
    // Whether the limit passed with the network still down, and why not found.
    bool GaveUp() const { return gaveUp; }
    QString GiveUpReason() const;

    static constexpr double LimitSecs = 60;
    static constexpr int RetryMs = 2000;

signals:
    void RetryDue();

private:
    NetworkMonitor& monitor;
    const Clock& clock;
    double limitSecs;
    double start;
    double waitingSince = -1;
    bool gaveUp = false;
    QTimer next;
};
