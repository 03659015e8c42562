// Figures for the time query, printed as table rows with their targets.
//
//   bench_query replies [RUNS]   RUNS (20) queries against the Time Protocol
//                                service at time-a-g.nist.gov, next to as many
//                                runs of rdate -p against it
//   bench_query phases           20 synchronisations against that service,
//                                started at evenly spread points of the real
//                                clock's second: how far the instant asked for
//                                lies from the true time when it is asked for
//   bench_query delayed          as many against a server of our own on
//                                127.0.0.1:37 that answers 100 ms after reading
//                                its clock: how often a right clock reads an
//                                offset other than 0
//   bench_query silent [RUNS]    RUNS (3) queries against a server of our own
//                                on 127.0.0.1:37 that accepts and never sends
//   bench_query network          10 start-up synchronisations each with
//                                NetworkManager's mock and without a monitor,
//                                the name resolving only some time after the
//                                start: from the network coming up to the
//                                clock-setting request
//   bench_query dual             10 queries against dual.test, whose first
//                                address is silent and second is that service
//
// Runs only inside tests/sandbox (tools/bench-query sets it up), where that
// name is the loopback inetd service and port 37 is the sandbox's. The clock
// is never set: the queries use a setter that only records what it is asked.
#include "platform/ClockSetter.h"
#include "time/DateValue.h"
#include "platform/NetworkManagerMonitor.h"
#include "platform/SystemClock.h"
#include "platform/SystemTimeZone.h"
#include "time/cInetTime.h"
#include "time/NetworkWait.h"

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
// 1 January 1970 as a date value.
constexpr qint64 UnixEpochDay = 25569;

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

// The PC's clock 30 s slow, so that every reply differs from it and asks for
// a setting; the wait clock is the real one.
class SlowClock : public Clock
{
public:
    double Now() const override { return system.Now() - 30.0 / 86400; }
    double PreciseNow() const override { return system.PreciseNow() - 30.0 / 86400; }
    double WaitClock() const override { return system.WaitClock(); }

private:
    SystemClock system;
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

struct Query {
    double wallSecs = 0;
    double cpuSecs = 0;
    bool replied = false;
    // The count the server sent, as seconds since 1970.
    qint64 serverUnixSecs = 0;
    qint32 offset = 0;
    // The real clock's whole second right after the reply was handled.
    qint64 handledUnixSecs = 0;
};

// Back from the local date value the query made of the count: whole seconds,
// with the zone's offset at the time of the reply.
qint64 ServerUnixSecs(double returnedDate)
{
    TimeZoneInformation info;
    const qint32 state = SystemTimeZone().GetTimeZoneInformation(info);
    const qint64 bias = info.Bias + (state == TimeZone::DaylightTime ? info.DaylightBias : 0);
    return DateValue::ToSeconds(returnedDate) - UnixEpochDay * 86400 + bias * 60;
}

Query RunQuery(const Clock& clock, ClockSetter& setter)
{
    SystemTimeZone zone;
    Query result;
    double returned = 0;
    QElapsedTimer wall;
    const double cpu = CpuSeconds();
    wall.start();
    {
        cInetTime query(clock, zone, setter);
        query.setTimeServer(Server);
        query.SetTime();
        result.replied = query.Replied();
        returned = query.ReturnedDate();
        result.offset = query.AdjustedSecs();
        result.handledUnixSecs = RealtimeMicroseconds() / 1000000;
    }
    result.wallSecs = wall.nsecsElapsed() / 1e9;
    result.cpuSecs = CpuSeconds() - cpu;
    if (result.replied)
        result.serverUnixSecs = ServerUnixSecs(returned);
    return result;
}

Query RunQuery()
{
    SystemClock clock;
    RecordingSetter setter;
    return RunQuery(clock, setter);
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

void Row(const char* figure, const QString& value, const char* target, const char* verdict)
{
    QString line =
        QString::asprintf("%-44s %12s  %-18s %s", figure, qPrintable(value), target, verdict);
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

    // Name lookup, socket and process machinery start up once per process.
    RunQuery();
    bool ok = false;
    RunProgram(rdate, {QStringLiteral("-p"), Server}, &ok);

    std::vector<double> queryWall, queryCpu, rdateWall, startWall;
    for (int i = 0; i < runs; ++i) {
        const Query q = RunQuery();
        if (!q.replied) {
            std::fprintf(stderr, "bench_query: query %d got no reply from %s\n", i + 1,
                         qPrintable(Server));
            return 2;
        }
        queryWall.push_back(q.wallSecs);
        queryCpu.push_back(q.cpuSecs);
        rdateWall.push_back(RunProgram(rdate, {QStringLiteral("-p"), Server}, &ok));
        if (!ok) {
            std::fprintf(stderr, "bench_query: rdate -p %s failed\n", qPrintable(Server));
            return 2;
        }
        startWall.push_back(RunProgram(trueProgram, {}, &ok));
    }

    const double query = Median(queryWall);
    const double peer = Median(rdateWall);
    const QByteArray n = QByteArray::number(runs);
    Row(("query wall time, median of " + n).constData(), Ms(query), "<= rdate -p",
        Verdict(query <= peer));
    Row(("rdate -p wall time, median of " + n).constData(), Ms(peer), "", "");
    Row("  for scale: starting /bin/true, median", Ms(Median(startWall)), "", "");
    Row("query CPU time, median", Secs(Median(queryCpu)), "", "");
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
    SlowClock clock;
    RecordingSetter setter;
    RunQuery(clock, setter);

    // Error: the instant asked for (or the whole second the server sent)
    // minus the true time when it is asked for.
    std::vector<double> asked, count;
    int misread = 0;
    for (int i = 0; i < Phases; ++i) {
        WaitForPhase((i + 0.5) / Phases);
        const int requests = setter.requests;
        const Query q = RunQuery(clock, setter);
        if (!q.replied || setter.requests != requests + 1) {
            std::fprintf(stderr, "bench_query: synchronisation %d with %s asked for no time\n",
                         i + 1, qPrintable(Server));
            return 2;
        }
        asked.push_back((setter.askedFor - setter.trueAt) / 1e6);
        count.push_back((q.serverUnixSecs * 1000000 - setter.trueAt) / 1e6);
        misread += q.offset != 30;
    }

    const double mean = Mean(asked);
    const double worst = Worst(asked);
    const QByteArray n = QByteArray::number(Phases);
    Row(("error of the instant asked for, mean of " + n).constData(), SignedSecs(mean),
        "|mean| <= 0.05 s", Verdict(std::fabs(mean) <= MeanErrorTargetSecs));
    Row("  worst", SignedSecs(worst), "|worst| <= 0.55 s",
        Verdict(std::fabs(worst) <= WorstErrorTargetSecs));
    Row("  setting the count itself (rdate): mean", SignedSecs(Mean(count)), "", "");
    Row("    worst", SignedSecs(Worst(count)), "", "");
    Row("clock 30 s slow read other than 30", QStringLiteral("%1 of %2").arg(misread).arg(Phases),
        "", "");
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
    RunQuery(clock, setter);
    int off = 0, offBefore = 0;
    for (int i = 0; i < Phases; ++i) {
        WaitForPhase((i + 0.5) / Phases);
        const Query q = RunQuery(clock, setter);
        if (!q.replied) {
            std::fprintf(stderr, "bench_query: the delayed server was not answered for\n");
            return 2;
        }
        off += q.offset != 0;
        // As the offset was taken two versions ago: the server's whole second minus
        // the PC's, read when the reply is handled.
        offBefore += q.serverUnixSecs != q.handledUnixSecs;
    }
    const QString n = QStringLiteral(" of %1").arg(Phases);
    Row("100-ms server: right clock read other than 0", QString::number(off) + n, "0 of 20",
        Verdict(off == 0));
    Row("  whole seconds on both sides, two versions ago", QString::number(offBefore) + n, "", "");
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

    std::vector<double> cpu, wall;
    for (int i = 0; i < runs; ++i) {
        const Query q = RunQuery();
        if (q.replied) {
            std::fprintf(stderr, "bench_query: the silent server was answered for\n");
            return 2;
        }
        cpu.push_back(q.cpuSecs);
        wall.push_back(q.wallSecs);
    }
    const double worst = *std::max_element(cpu.begin(), cpu.end());
    const QByteArray n = QByteArray::number(runs);
    Row(("CPU time of a 5 s wait, worst of " + n).constData(), Secs(worst), "<= 0.05 s",
        Verdict(worst <= CpuTargetSecs));
    Row("  median", Secs(Median(cpu)), "", "");
    Row("  wall time of that wait, median", Secs(Median(wall)), "", "");
    return 0;
}
// Where no monitor runs.
class NoMonitor : public NetworkMonitor
{
public:
    void Watch() override {}
    State Connection() const override { return State::Unknown; }
};

bool WriteFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

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
    SlowClock clock;
    RecordingSetter setter;
    SystemTimeZone zone;
    QFile hosts(QStringLiteral("/etc/hosts"));
    hosts.open(QIODevice::ReadOnly);
    const QByteArray original = hosts.readAll();
    SetManagerState(40);
    qint64 upAt = 0;
    QTimer::singleShot(std::lround(upAfter * 1000), Qt::PreciseTimer, [&] {
        WriteFile(hosts.fileName(), original + "127.0.0.1 " + name.toUtf8() + '\n');
        SetManagerState(70);
        upAt = RealtimeMicroseconds();
    });
    NetworkWait wait(monitor, clock);
    wait.Run(
        [&] {
            auto query = std::make_unique<cInetTime>(clock, zone, setter);
            query->setTimeServer(name);
            query->setRetrying(true);
            query->SetTime();
            return query;
        },
        [] {});
    WriteFile(hosts.fileName(), original);
    return setter.requests == 1 && upAt ? (setter.trueAt - upAt) / 1e6 : -1;
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
        // Spread over the two seconds between retries.
        const double upAfter = 0.5 + 2.0 * i / runs;
        watched.push_back(UpToRequest(manager, QStringLiteral("up%1.test").arg(i), upAfter));
        unwatched.push_back(UpToRequest(none, QStringLiteral("down%1.test").arg(i), upAfter));
        if (watched.back() < 0 || unwatched.back() < 0) {
            std::fprintf(stderr, "bench_query: a start-up synchronisation asked for no time\n");
            return 2;
        }
    }
    const QByteArray n = QByteArray::number(runs);
    Row(("up to request, NetworkManager, median of " + n).constData(), Secs(Median(watched)),
        "<= 0.3 s", Verdict(Median(watched) <= UpToRequestTargetSecs));
    Row(("  without a monitor, median of " + n).constData(), Secs(Median(unwatched)), "<= 2.5 s",
        Verdict(Median(unwatched) <= UpToRequestUnwatchedTargetSecs));
    return 0;
}

int Dual(int runs)
{
    SystemClock clock;
    RecordingSetter setter;
    std::vector<double> wall;
    for (int i = 0; i < runs; ++i) {
        SystemTimeZone zone;
        QElapsedTimer timer;
        timer.start();
        cInetTime query(clock, zone, setter);
        query.setTimeServer(QStringLiteral("dual.test"));
        query.SetTime();
        wall.push_back(timer.nsecsElapsed() / 1e9);
        if (!query.Replied()) {
            std::fprintf(stderr, "bench_query: dual.test did not answer\n");
            return 2;
        }
    }
    const double median = Median(wall);
    Row(("first address silent, median of " + QByteArray::number(runs)).constData(), Secs(median),
        "<= 0.4 s", Verdict(median <= SilentFirstTargetSecs));
    return 0;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    const bool counted = mode == QLatin1String("replies") || mode == QLatin1String("silent");
    const bool known = counted || mode == QLatin1String("phases") ||
                       mode == QLatin1String("delayed") || mode == QLatin1String("network") ||
                       mode == QLatin1String("dual");
    bool numeric = true;
    const int runs = args.size() > 1 ? args.at(1).toInt(&numeric) : 0;
    if (!known || !numeric || runs < 0 || args.size() > (counted ? 2 : 1)) {
        std::fprintf(stderr, "usage: bench_query replies|silent [RUNS] | bench_query "
                             "phases|delayed|network|dual\n");
        return 2;
    }
    if (!InSandbox()) {
        // Outside, the server name is the real NIST server.
        std::fprintf(stderr, "bench_query: run it through tools/bench-query (the sandbox)\n");
        return 2;
    }
    TimeZoneInformation info;
    if (mode != QLatin1String("silent") &&
        SystemTimeZone().GetTimeZoneInformation(info) == TimeZone::NoDaylightRule)
        std::fprintf(stderr, "bench_query: TZ has no daylight rule, so every query waits its "
                             "full 5 s; use e.g. TZ=Europe/London\n");
    if (mode == QLatin1String("replies"))
        return Replies(runs > 0 ? runs : 20);
    if (mode == QLatin1String("phases"))
        return PhaseErrors();
    if (mode == QLatin1String("network"))
        return Network(10);
    if (mode == QLatin1String("dual"))
        return Dual(10);
    if (mode == QLatin1String("delayed"))
        return Delayed();
    return Silent(runs > 0 ? runs : 3);
}
