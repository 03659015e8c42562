#pragma once

#include "platform/PlatformResult.h"
#include "time/Outcome.h"
#include "time/ServerPace.h"

#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>

class Clock;
class ClockSetter;
class NetworkMonitor;
class NetworkWait;
class TimeZone;
class cInetTime;

// One synchronisation, from a press or the start-up to its outcome: the wait
// for the network at start-up, the pace the servers ask for, the query, a
// second server's word on a large step, and the setting of the clock. One
// runs at a time. It knows no window: it tells what happens, and the window
// shows it.
class Synchronisation : public QObject
{
    Q_OBJECT
public:
    Synchronisation(const Clock& clock, const TimeZone& zone, ClockSetter& setter,
                    NetworkMonitor& monitor);
    ~Synchronisation() override;

    // Asks the server; at start-up, with patience, first waits up to that
    // many seconds for the network to come up.
    void Start(const QString& server, double patienceSecs = 0);
    // From Start until Finished: the pace, the network, a query, the
    // confirmation or the setting of the clock is still to come.
    bool UnderWay() const { return underWay; }
    // What the last synchronisation came to; none while one runs.
    const std::optional<Outcome>& Last() const { return outcome; }

    // One wrong server must not move a right clock far: a larger step is
    // taken only when another server's time agrees within AgreeSecs.
    static constexpr qint32 ConfirmAboveSecs = 1000;
    static constexpr double AgreeSecs = 2;
    static constexpr qsizetype MostOthers = 2;

signals:
    void WaitingForNetwork();
    // The system may now ask for a password, which can take minutes.
    void SettingClock();
    void Finished(const Outcome& outcome);

private:
    using Step = void (Synchronisation::*)();
    // Queries name once the pace allows: replied runs when a reply has been
    // handled, over when the query's wait is over.
    void Ask(std::unique_ptr<cInetTime>& query, const QString& name, Step replied, Step over);
    void AskServer();
    void ServerReplied();
    void ServerOver();
    void AskAnother();
    void AnotherOver();
    void SetClock(const cInetTime& from, const QString& why);
    // Tells the outcome once nothing is left to come.
    void Settle();
    Outcome Told() const;

    const Clock& clock;
    const TimeZone& zone;
    ClockSetter& setter;
    NetworkMonitor& monitor;
    ServerPace pace;
    bool underWay = false;
    std::optional<Outcome> outcome;

    // The run under way: the server and its query; the other servers still
    // to ask about a large step, the query of one, and those that did not
    // answer; a large step refused; the query the clock is set from, and why
    // the journal should know.
    QString server;
    std::unique_ptr<NetworkWait> network;
    std::unique_ptr<cInetTime> first;
    int asking = 0;
    QStringList others, silent;
    std::unique_ptr<cInetTime> other;
    std::optional<Outcome> refused;
    const cInetTime* setFrom = nullptr;
    QString setWhy;
    bool settingClock = false;
    std::optional<PlatformResult> clockResult;
};
