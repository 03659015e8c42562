// Figures for the time query, printed as table rows with their targets. Each
// comes from a Synchronisation driven as the window drives it, one for each
// run, as each start of the program makes one.
//
//   bench_query replies [RUNS]   RUNS (20) synchronisations of a right clock
//                                against the Time Protocol service at
//                                time-a-g.nist.gov, next to as many runs of
//                                rdate -p against it
//   bench_query confirmed [RUNS] RUNS (20) synchronisations of a clock 2 hours
//                                slow, whose step a second server must
//                                confirm, next to as many of a clock 30 s slow
//   bench_query phases           20 synchronisations against that service,
//                                started at evenly spread points of the real
//                                clock's second: how far the instant asked for
//                                lies from the true time when it is asked for
//   bench_query dual             10 synchronisations with dual.test, whose
//                                first address is silent and second is that
//                                service
//   bench_query network          10 start-up synchronisations each with
//                                NetworkManager's mock and without a monitor,
//                                the name resolving only some time after the
//                                start: from the network coming up to the
//                                clock-setting request
//   bench_query utc              one synchronisation in a zone without a
//                                daylight rule (TZ=UTC), whose wait runs to
//                                its deadline
//   bench_query delayed          20 against a server of our own on
//                                127.0.0.1:37 that answers 100 ms after reading
//                                its clock: how often a right clock reads an
//                                offset other than 0
//   bench_query silent [RUNS]    RUNS (3) against a server of our own on
//                                127.0.0.1:37 that accepts and never sends
//
// Runs only inside tests/sandbox (tools/bench-query sets it up), where those
// names are the loopback inetd service and port 37 is the sandbox's. The clock
// is never set: the setter only notes what it is asked for.
#include "platform/ClockSetter.h"
#include "platform/NetworkManagerMonitor.h"
#include "platform/SystemClock.h"
#include "platform/SystemTimeZone.h"
#include "time/NetworkWait.h"
#include "time/Outcome.h"
#include "time/Synchronisation.h"
#include "time/cInetTime.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numeric>
#include <optional>
#include <sys/resource.h>
#include <vector>

namespace
{
const QString Server = QStringLiteral("time-a-g.nist.gov");
constexpr double CpuTargetSecs = 0.05;
constexpr int Phases = 20;
constexpr double MeanErrorTargetSecs = 0.05;
constexpr double WorstErrorTargetSecs = 0.55;
constexpr double UpToRequestTargetSecs = 0.3;
constexpr double UpToRequestUnwatchedTargetSecs = 2.5;
constexpr double SilentFirstTargetSecs = 0.4;
constexpr int ReplyDelayMs = 100;
// Slow enough that a second server must agree, and the ordinary step.
constexpr qint32 ConfirmedSlowSecs = 2 * 3600;
constexpr qint32 OrdinarySlowSecs = 30;
// The wait that a reply does not end without a daylight rule.
constexpr double DeadlineSecs = 5;
// A start-up run may wait a minute for the network: past that and more, it hangs.
constexpr int HungMs = static_cast<int>(NetworkWait::LimitSecs + 30) * 1000;

qint64 RealtimeMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

// Never sets anything. inetd answers from this machine's clock, so the true
// time at a request is simply the real clock when the request is made.
class RecordingSetter : public ClockSetter
{
public:
    void SetUtc(qint64 unixMicroseconds, QObject*, Done done) override
    {
        trueAt = RealtimeMicroseconds();
        askedFor = unixMicroseconds;
        ++requests;
        done(PlatformResult::Success());
    }
    qint64 askedFor = 0;
    qint64 trueAt = 0;
    int requests = 0;
};

// The PC's clock that many whole seconds slow, so that every reply differs
// from it and asks for a setting; the wait clock is the real one.
class SlowClock : public Clock
{
public:
    explicit SlowClock(double secs) : slow(secs / 86400) {}
    double Now() const override { return system.Now() - slow; }
    double PreciseNow() const override { return system.PreciseNow() - slow; }
    double WaitClock() const override { return system.WaitClock(); }

private:
    SystemClock system;
    double slow;
};

// Where no monitor runs.
class NoMonitor : public NetworkMonitor
{
public:
    void Watch() override {}
    State Connection() const override { return State::Unknown; }
};

// User plus system time of every thread of this process.
double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto secs = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return secs(usage.ru_utime) + secs(usage.ru_stime);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Mean(const std::vector<double>& values)
{
    return std::accumulate(values.begin(), values.end(), 0.0) / values.size();
}

// The value farthest from zero, with its sign.
double Worst(const std::vector<double>& values)
{
    return *std::max_element(values.begin(), values.end(),
                             [](double a, double b) { return std::fabs(a) < std::fabs(b); });
}

struct Run {
    // None when it had not finished by the time it must have.
    std::optional<Outcome> outcome;
    // From Start to Finished.
    double wallSecs = 0;
    double cpuSecs = 0;
};

// One synchronisation, waited for in an event loop as the window waits. A new
// one each time, so that no earlier run's pace holds it back.
Run Synchronise(const Clock& clock, ClockSetter& setter, NetworkMonitor& monitor,
                const QString& server = Server, double patienceSecs = 0)
{
    SystemTimeZone zone;
    Synchronisation synchronisation(clock, zone, setter, monitor);
    Run run;
    QEventLoop loop;
    QElapsedTimer wall;
    double cpu = 0;
    QObject::connect(&synchronisation, &Synchronisation::Finished, &loop, [&](const Outcome& told) {
        run.wallSecs = wall.nsecsElapsed() / 1e9;
        run.cpuSecs = CpuSeconds() - cpu;
        run.outcome = told;
        loop.quit();
    });
    QTimer::singleShot(HungMs, &loop, &QEventLoop::quit);
    cpu = CpuSeconds();
    wall.start();
    synchronisation.Start(server, patienceSecs);
    loop.exec();
    return run;
}

// Says what went wrong with a run, for a figure that cannot be had.
int Fail(const char* what, const Run& run)
{
    std::fprintf(stderr, "bench_query: %s: %s\n", what,
                 run.outcome ? qPrintable(run.outcome->JournalLine()) : "no outcome");
    return 2;
}

bool Adjusted(const Run& run, qint32 secs)
{
    return run.outcome && run.outcome->text == Outcome::Adjusted(secs).text;
}

// Wall time of one run of a program, from starting it to reaping it.
double RunProgram(const QString& program, const QStringList& args, bool* ok)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer wall;
    wall.start();
    process.start(program, args);
    const bool finished = process.waitForFinished(10000);
    const double secs = wall.nsecsElapsed() / 1e9;
    *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return secs;
}

void Row(const QString& figure, const QString& value, const char* target = "",
         const char* verdict = "")
{
    QString line = QString::asprintf("%-44s %12s  %-18s %s", qPrintable(figure), qPrintable(value),
                                     target, verdict);
    while (line.endsWith(u' '))
        line.chop(1);
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

const char* Verdict(bool met)
{
    return met ? "met" : "MISSED";
}

QString Ms(double secs)
{
    return QStringLiteral("%1 ms").arg(secs * 1000, 0, 'f', 2);
}

QString Secs(double secs)
{
    return QStringLiteral("%1 s").arg(secs, 0, 'f', 4);
}

QString SignedSecs(double secs)
{
    return QString::asprintf("%+.3f s", secs);
}

QString MedianOf(int runs)
{
    return QStringLiteral(", median of %1").arg(runs);
}

bool InSandbox()
{
    QFile map(QStringLiteral("/proc/self/uid_map"));
    if (!map.open(QIODevice::ReadOnly))
        return false;
    // The initial user namespace maps the whole uid range onto itself.
    return !map.readAll().contains("4294967295");
}

int Replies(int runs)
{
    QString rdate = QStandardPaths::findExecutable(QStringLiteral("rdate"));
    if (rdate.isEmpty())
        rdate = QStandardPaths::findExecutable(QStringLiteral("rdate"), {"/usr/sbin"});
    const QString trueProgram = QStandardPaths::findExecutable(QStringLiteral("true"));
    if (rdate.isEmpty() || trueProgram.isEmpty()) {
        std::fprintf(stderr, "bench_query: rdate or true not found\n");
        return 2;
    }

    // A right clock, as rdate -p only prints: nothing is to be set.
    SystemClock clock;
    RecordingSetter setter;
    NoMonitor none;
    // Name lookup, socket and process machinery start up once per process.
    Synchronise(clock, setter, none);
    bool ok = false;
    RunProgram(rdate, {QStringLiteral("-p"), Server}, &ok);

    std::vector<double> wall, cpu, rdateWall, startWall;
    for (int i = 0; i < runs; ++i) {
        const Run run = Synchronise(clock, setter, none);
        if (!run.outcome || run.outcome->Failed())
            return Fail("a synchronisation of a right clock", run);
        wall.push_back(run.wallSecs);
        cpu.push_back(run.cpuSecs);
        rdateWall.push_back(RunProgram(rdate, {QStringLiteral("-p"), Server}, &ok));
        if (!ok) {
            std::fprintf(stderr, "bench_query: rdate -p %s failed\n", qPrintable(Server));
            return 2;
        }
        startWall.push_back(RunProgram(trueProgram, {}, &ok));
    }

    const double ours = Median(wall);
    const double peer = Median(rdateWall);
    Row("synchronisation wall time" + MedianOf(runs), Ms(ours), "<= rdate -p",
        Verdict(ours <= peer));
    Row("rdate -p wall time" + MedianOf(runs), Ms(peer));
    Row("  for scale: starting /bin/true, median", Ms(Median(startWall)));
    Row("synchronisation CPU time, median", Secs(Median(cpu)));
    return 0;
}

int Confirmed(int runs)
{
    const SlowClock ordinaryClock(OrdinarySlowSecs), confirmedClock(ConfirmedSlowSecs);
    RecordingSetter setter;
    NoMonitor none;
    Synchronise(ordinaryClock, setter, none);
    Synchronise(confirmedClock, setter, none);

    std::vector<double> ordinary, confirmed;
    for (int i = 0; i < runs; ++i) {
        int requests = setter.requests;
        const Run step = Synchronise(ordinaryClock, setter, none);
        if (!step.outcome || step.outcome->Failed() || setter.requests != requests + 1)
            return Fail("a clock 30 s slow was not set", step);
        ordinary.push_back(step.wallSecs);

        // The other servers answer on fd00::1, from the same true clock.
        requests = setter.requests;
        const Run large = Synchronise(confirmedClock, setter, none);
        if (!large.outcome || large.outcome->Failed() || setter.requests != requests + 1 ||
            !large.outcome->note.startsWith(QStringLiteral("(confirmed by ")))
            return Fail("a clock 2 hours slow was not set on a second server's word", large);
        confirmed.push_back(large.wallSecs);
    }

    const double plain = Median(ordinary);
    const double checked = Median(confirmed);
    Row("ordinary step (30 s) wall time" + MedianOf(runs), Ms(plain));
    Row("confirmed step (2 h) wall time" + MedianOf(runs), Ms(checked));
    Row("  confirmed against ordinary", QStringLiteral("%1 times").arg(checked / plain, 0, 'f', 2));
    return 0;
}

// Sleeps until the real clock is the given fraction of a second past a whole
// second.
void WaitForPhase(double phase)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const long nanos = std::lround(phase * 1e9);
    const timespec at{now.tv_nsec < nanos ? now.tv_sec : now.tv_sec + 1, nanos};
    while (clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

int PhaseErrors()
{
    const SlowClock clock(OrdinarySlowSecs);
    RecordingSetter setter;
    NoMonitor none;
    Synchronise(clock, setter, none);

    // Error: the instant asked for (or the whole second the server sent)
    // minus the true time when it is asked for.
    std::vector<double> asked, count;
    int misread = 0;
    for (int i = 0; i < Phases; ++i) {
        WaitForPhase((i + 0.5) / Phases);
        const int requests = setter.requests;
        const Run run = Synchronise(clock, setter, none);
        if (!run.outcome || run.outcome->Failed() || setter.requests != requests + 1)
            return Fail("a synchronisation asked for no time", run);
        asked.push_back((setter.askedFor - setter.trueAt) / 1e6);
        // The instant is the middle of the server's second carried forward by
        // far less than half a second here, so the count is the whole second
        // below the instant less that half.
        const qint64 counted = (setter.askedFor - 500000) / 1000000 * 1000000;
        count.push_back((counted - setter.trueAt) / 1e6);
        misread += !Adjusted(run, OrdinarySlowSecs);
    }

    const double mean = Mean(asked);
    const double worst = Worst(asked);
    const QString n = QString::number(Phases);
    Row("error of the instant asked for, mean of " + n, SignedSecs(mean), "|mean| <= 0.05 s",
        Verdict(std::fabs(mean) <= MeanErrorTargetSecs));
    Row("  worst", SignedSecs(worst), "|worst| <= 0.55 s",
        Verdict(std::fabs(worst) <= WorstErrorTargetSecs));
    Row("  setting the count itself (rdate): mean", SignedSecs(Mean(count)));
    Row("    worst", SignedSecs(Worst(count)));
    Row("clock 30 s slow read other than 30", QStringLiteral("%1 of %2").arg(misread).arg(Phases));
    return 0;
}

int Dual(int runs)
{
    SystemClock clock;
    RecordingSetter setter;
    NoMonitor none;
    std::vector<double> wall;
    for (int i = 0; i < runs; ++i) {
        const Run run = Synchronise(clock, setter, none, QStringLiteral("dual.test"));
        if (!run.outcome || run.outcome->Failed())
            return Fail("dual.test did not answer", run);
        wall.push_back(run.wallSecs);
    }
    const double median = Median(wall);
    Row("first address silent" + MedianOf(runs), Secs(median), "<= 0.4 s",
        Verdict(median <= SilentFirstTargetSecs));
    return 0;
}

bool WriteFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// NetworkManager's mock takes that state: 40 connecting, 70 connected.
void SetManagerState(uint state)
{
    QDBusInterface(QStringLiteral("org.freedesktop.NetworkManager"),
                   QStringLiteral("/org/freedesktop/NetworkManager"),
                   QStringLiteral("org.freedesktop.DBus.Mock"), QDBusConnection::systemBus())
        .call(QStringLiteral("SetGlobalConnectionState"), state);
}

// One start-up synchronisation of a name that resolves, and a NetworkManager
// that says connected, only after upAfter seconds: from then to the request.
double UpToRequest(NetworkMonitor& monitor, const QString& name, double upAfter)
{
    const SlowClock clock(OrdinarySlowSecs);
    RecordingSetter setter;
    QFile hosts(QStringLiteral("/etc/hosts"));
    hosts.open(QIODevice::ReadOnly);
    const QByteArray original = hosts.readAll();
    SetManagerState(40);
    qint64 upAt = 0;
    QObject up;
    QTimer::singleShot(std::lround(upAfter * 1000), Qt::PreciseTimer, &up, [&] {
        WriteFile(hosts.fileName(), original + "127.0.0.1 " + name.toUtf8() + '\n');
        SetManagerState(70);
        upAt = RealtimeMicroseconds();
    });
    const Run run = Synchronise(clock, setter, monitor, name, NetworkWait::LimitSecs);
    WriteFile(hosts.fileName(), original);
    if (run.outcome && !run.outcome->Failed() && setter.requests == 1 && upAt)
        return (setter.trueAt - upAt) / 1e6;
    Fail("a start-up synchronisation asked for no time", run);
    return -1;
}

int Network(int runs)
{
    // Names missing from /etc/hosts fail for a temporary reason: the
    // resolver that the sandbox names does not answer.
    if (!WriteFile(QStringLiteral("/etc/nsswitch.conf"), "hosts: files dns\n"))
        return 2;
    NetworkManagerMonitor manager;
    NoMonitor none;
    std::vector<double> watched, unwatched;
    for (int i = 0; i < runs; ++i) {
        // Spread over the two seconds between retries; new names, since
        // lookups are cached.
        const double upAfter = 0.5 + 2.0 * i / runs;
        watched.push_back(UpToRequest(manager, QStringLiteral("up%1.test").arg(i), upAfter));
        unwatched.push_back(UpToRequest(none, QStringLiteral("down%1.test").arg(i), upAfter));
        if (watched.back() < 0 || unwatched.back() < 0)
            return 2;
    }
    Row("up to request, NetworkManager" + MedianOf(runs), Secs(Median(watched)), "<= 0.3 s",
        Verdict(Median(watched) <= UpToRequestTargetSecs));
    Row("  without a monitor" + MedianOf(runs), Secs(Median(unwatched)), "<= 2.5 s",
        Verdict(Median(unwatched) <= UpToRequestUnwatchedTargetSecs));
    return 0;
}

int Utc()
{
    const SlowClock clock(OrdinarySlowSecs);
    RecordingSetter setter;
    NoMonitor none;
    const Run run = Synchronise(clock, setter, none);
    if (!run.outcome || run.outcome->Failed() || setter.requests != 1)
        return Fail("a synchronisation in TZ=UTC asked for no time", run);
    // The clock is asked to be set as the reply comes; the wait runs on.
    Row("TZ=UTC: one synchronisation, to Finished", Secs(run.wallSecs), "the 5 s deadline",
        Verdict(run.wallSecs >= DeadlineSecs && run.wallSecs < DeadlineSecs + 0.25));
    return 0;
}

// Port 37 of loopback, which the nested sandbox gives to this process alone.
bool Listen(QTcpServer& server)
{
    if (server.listen(QHostAddress::LocalHost, cInetTime::RemotePort))
        return true;
    std::fprintf(stderr, "bench_query: cannot listen on 127.0.0.1:37: %s\n",
                 qPrintable(server.errorString()));
    return false;
}

int Delayed()
{
    // Reads its clock when the connection comes in and sends that second
    // 100 ms later, as a slow or busy server would.
    QTcpServer server;
    if (!Listen(server))
        return 2;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        while (QTcpSocket* client = server.nextPendingConnection()) {
            client->setParent(&server);
            const quint32 word =
                qToBigEndian(quint32(RealtimeMicroseconds() / 1000000 + 2208988800));
            QTimer::singleShot(ReplyDelayMs, Qt::PreciseTimer, client, [client, word] {
                client->write(reinterpret_cast<const char*>(&word), sizeof word);
                client->disconnectFromHost();
            });
        }
    });

    SystemClock clock;
    RecordingSetter setter;
    NoMonitor none;
    Synchronise(clock, setter, none);
    int off = 0;
    for (int i = 0; i < Phases; ++i) {
        WaitForPhase((i + 0.5) / Phases);
        const Run run = Synchronise(clock, setter, none);
        if (!run.outcome || run.outcome->Failed())
            return Fail("the delayed server was not answered for", run);
        off += !Adjusted(run, 0);
    }
    Row("100-ms server: right clock read other than 0",
        QStringLiteral("%1 of %2").arg(off).arg(Phases), "0 of 20", Verdict(off == 0));
    return 0;
}

int Silent(int runs)
{
    // Accepts and holds every connection, and never says a word.
    QTcpServer server;
    if (!Listen(server))
        return 2;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        while (QTcpSocket* client = server.nextPendingConnection())
            client->setParent(&server);
    });

    SystemClock clock;
    RecordingSetter setter;
    NoMonitor none;
    std::vector<double> cpu, wall;
    for (int i = 0; i < runs; ++i) {
        const Run run = Synchronise(clock, setter, none);
        if (!run.outcome || run.outcome->text != Outcome::NoReply().text)
            return Fail("the silent server was answered for", run);
        cpu.push_back(run.cpuSecs);
        wall.push_back(run.wallSecs);
    }
    const double worst = *std::max_element(cpu.begin(), cpu.end());
    Row(QStringLiteral("CPU time of a 5 s wait, worst of %1").arg(runs), Secs(worst), "<= 0.05 s",
        Verdict(worst <= CpuTargetSecs));
    Row("  median", Secs(Median(cpu)));
    Row("  wall time of that wait, median", Secs(Median(wall)));
    return 0;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    const bool counted = mode == QLatin1String("replies") || mode == QLatin1String("confirmed") ||
                         mode == QLatin1String("silent");
    const bool known = counted || mode == QLatin1String("phases") ||
                       mode == QLatin1String("dual") || mode == QLatin1String("network") ||
                       mode == QLatin1String("utc") || mode == QLatin1String("delayed");
    bool numeric = true;
    const int runs = args.size() > 1 ? args.at(1).toInt(&numeric) : 0;
    if (!known || !numeric || runs < 0 || args.size() > (counted ? 2 : 1)) {
        std::fprintf(stderr, "usage: bench_query replies|confirmed|silent [RUNS] | bench_query "
                             "phases|dual|network|utc|delayed\n");
        return 2;
    }
    if (!InSandbox()) {
        // Outside, the server names are the real NIST servers.
        std::fprintf(stderr, "bench_query: run it through tools/bench-query (the sandbox)\n");
        return 2;
    }
    TimeZoneInformation info;
    const bool noRule = SystemTimeZone().GetTimeZoneInformation(info) == TimeZone::NoDaylightRule;
    if (mode == QLatin1String("utc") && !noRule) {
        std::fprintf(stderr, "bench_query: utc needs a zone without a daylight rule: TZ=UTC\n");
        return 2;
    }
    if (noRule && mode != QLatin1String("utc") && mode != QLatin1String("silent"))
        std::fprintf(stderr, "bench_query: TZ has no daylight rule, so every synchronisation "
                             "waits its full 5 s; use e.g. TZ=Europe/London\n");
    if (mode == QLatin1String("replies"))
        return Replies(runs > 0 ? runs : 20);
    if (mode == QLatin1String("confirmed"))
        return Confirmed(runs > 0 ? runs : 20);
    if (mode == QLatin1String("phases"))
        return PhaseErrors();
    if (mode == QLatin1String("dual"))
        return Dual(10);
    if (mode == QLatin1String("network"))
        return Network(10);
    if (mode == QLatin1String("utc"))
        return Utc();
    if (mode == QLatin1String("delayed"))
        return Delayed();
    return Silent(runs > 0 ? runs : 3);
}
