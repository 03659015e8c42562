#include "time/Synchronisation.h"

#include "platform/Clock.h"
#include "platform/ClockSetter.h"
#include "time/DateValue.h"
#include "time/NetworkWait.h"
#include "time/ServerList.h"
#include "time/cInetTime.h"

#include <QTimer>
#include <cmath>

Synchronisation::Synchronisation(const Clock& clock, const TimeZone& zone, ClockSetter& setter,
                                 NetworkMonitor& monitor)
    : clock(clock), zone(zone), setter(setter), monitor(monitor), pace(clock)
{
}

Synchronisation::~Synchronisation() = default;

void Synchronisation::Start(const QString& name, double patienceSecs)
{
    underWay = true;
    outcome.reset();
    server = name;
    network.reset(patienceSecs > 0 ? new NetworkWait(monitor, clock, patienceSecs) : nullptr);
    if (network)
        connect(network.get(), &NetworkWait::RetryDue, this, &Synchronisation::AskServer);
    others.clear();
    silent.clear();
    refused.reset();
    setFrom = nullptr;
    setWhy.clear();
    clockResult.reset();
    AskServer();
}

void Synchronisation::Ask(std::unique_ptr<cInetTime>& query, const QString& name, Step replied,
                          Step over)
{
    ++asking;
    const auto ask = [this, &query, name, replied, over] {
        query = std::make_unique<cInetTime>(clock, zone);
        query->setTimeServer(name);
        query->setRetrying(network != nullptr);
        // Queued: the query is never destroyed while it is telling.
        if (replied)
            connect(query.get(), &cInetTime::ReplyHandled, this, replied, Qt::QueuedConnection);
        connect(
            query.get(), &cInetTime::WaitOver, this,
            [this, &query, name, over] {
                if (const auto connected = query->ConnectedAt())
                    pace.Connected(name, *connected);
                --asking;
                (this->*over)();
            },
            Qt::QueuedConnection);
        query->SetTime();
    };
    const double due = pace.DueIn(name);
    QTimer::singleShot(static_cast<int>(std::ceil(due * 1000)), Qt::PreciseTimer, this, ask);
}

void Synchronisation::AskServer()
{
    Ask(first, server, &Synchronisation::ServerReplied, &Synchronisation::ServerOver);
}

void Synchronisation::ServerReplied()
{
    // A right clock stays as it is, a small step is taken at once, and a large
    // one only once another server agrees: public servers do go wrong.
    if (!first->Replied() || first->AdjustedSecs() == 0)
        return;
    if (qAbs(first->AdjustedSecs()) <= ConfirmAboveSecs)
        return SetClock(*first, {});
    others = ServerList::Others(server, MostOthers);
    AskAnother();
}

void Synchronisation::ServerOver()
{
    const bool waitingAlready = network && network->Waiting();
    if (network && network->NotUpYet(*first)) {
        if (!waitingAlready)
            emit WaitingForNetwork();
        network->Pause();
        return;
    }
    Settle();
}

void Synchronisation::AskAnother()
{
    if (!others.isEmpty())
        return Ask(other, others.takeFirst(), nullptr, &Synchronisation::AnotherOver);
    // Nobody else answered. A PC clock before this release is surely wrong
    // (a dead battery, an old image), and nothing better is known.
    const qint32 step = first->AdjustedSecs();
    if (DateValue::DatePart(clock.Now()) < cInetTime::Release().date())
        SetClock(*first, QStringLiteral("(not confirmed: %1)").arg(Outcome::Silent(silent)));
    else
        refused = Outcome::NotSet(step, Outcome::Unconfirmed(step, silent));
}

void Synchronisation::AnotherOver()
{
    // Both estimates are of the true time now, so they can be compared as they are.
    if (!other->Replied()) {
        silent << other->Server();
        AskAnother();
    } else if (std::abs(other->Estimate() - first->Estimate()) <= AgreeSecs * 1e6) {
        SetClock(*other, QStringLiteral("(confirmed by %1)").arg(other->Server()));
    } else {
        refused = Outcome::BadReply(Outcome::Disagreement(*first, *other));
    }
    Settle();
}

void Synchronisation::SetClock(const cInetTime& from, const QString& why)
{
    setFrom = &from;
    setWhy = why;
    settingClock = true;
    emit SettingClock();
    setter.SetUtc(from.Estimate(), this, [this](const PlatformResult& result) {
        clockResult = result;
        settingClock = false;
        Settle();
    });
}

void Synchronisation::Settle()
{
    if (!underWay || asking > 0 || settingClock)
        return;
    outcome = Told();
    underWay = false;
    emit Finished(*outcome);
}

Outcome Synchronisation::Told() const
{
    Outcome told = network && network->GaveUp() ? Outcome::NotFound(network->GiveUpReason())
                   : refused                    ? *refused
                   : clockResult && !clockResult->ok
                       ? Outcome::NotSet(setFrom->AdjustedSecs(), clockResult->reason)
                       : Outcome::Of(setFrom ? *setFrom : *first);
    told.server = server;
    told.note = setWhy;
    if (network && network->Waiting())
        told.note += QStringLiteral(" (after waiting %1 s for the network)")
                         .arg(network->Waited(), 0, 'f', 1);
    told.note = told.note.trimmed();
    return told;
}
