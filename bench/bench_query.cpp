// Figures for the time query, printed as table rows with their targets.
//
//   bench_query replies [RUNS]   RUNS (20) queries against the Time Protocol
//                                service at time-a-g.nist.gov, next to as many
//                                runs of rdate -p against it
//   bench_query silent [RUNS]    RUNS (3) queries against a server of our own
//                                on 127.0.0.1:37 that accepts and never sends
//
// Runs only inside tests/sandbox/sandbox (tools/bench-query sets it up), where
// that name is the loopback inetd service and port 37 is the sandbox's. The
// clock is never set: the queries use a setter that only counts.
#include "platform/ClockSetter.h"
#include "platform/SystemClock.h"
#include "platform/SystemTimeZone.h"
#include "time/cInetTime.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace
{
const QString Server = QStringLiteral("time-a-g.nist.gov");
constexpr double CpuTargetSecs = 0.05;

class CountingSetter : public ClockSetter
{
public:
    void SetUtc(qint64, QObject*, Done done) override
    {
        ++requests;
        done(PlatformResult::Success());
    }
    int requests = 0;
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

struct Query {
    double wallSecs = 0;
    double cpuSecs = 0;
    bool replied = false;
};

Query RunQuery()
{
    SystemClock clock;
    SystemTimeZone zone;
    CountingSetter setter;
    Query result;
    QElapsedTimer wall;
    const double cpu = CpuSeconds();
    wall.start();
    {
        cInetTime query(clock, zone, setter);
        query.setTimeServer(Server);
        query.SetTime();
        result.replied = query.Replied();
    }
    result.wallSecs = wall.nsecsElapsed() / 1e9;
    result.cpuSecs = CpuSeconds() - cpu;
    return result;
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
        QString::asprintf("%-44s %12s  %-16s %s", figure, qPrintable(value), target, verdict);
    while (line.endsWith(u' '))
        line.chop(1);
    std::printf("%s\n", qPrintable(line));
}

QString Ms(double secs)
{
    return QStringLiteral("%1 ms").arg(secs * 1000, 0, 'f', 2);
}

QString Secs(double secs)
{
    return QStringLiteral("%1 s").arg(secs, 0, 'f', 4);
}

bool InSandbox()
{
    QFile map(QStringLiteral("/proc/self/uid_map"));
    if (qgetenv("QUORVANE_SANDBOX") != "1" || !map.open(QIODevice::ReadOnly))
        return false;
    // The initial user namespace maps the whole uid range onto itself.
    return !map.readAll().contains("4294967295");
}

int Replies(int runs)
{
    TimeZoneInformation info;
    if (SystemTimeZone().GetTimeZoneInformation(info) == TimeZone::NoDaylightRule)
        std::fprintf(stderr, "bench_query: TZ has no daylight rule, so every query waits its "
                             "full 5 s; use e.g. TZ=Europe/London\n");

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
        query <= peer ? "met" : "MISSED");
    Row(("rdate -p wall time, median of " + n).constData(), Ms(peer), "", "");
    Row("  for scale: starting /bin/true, median", Ms(Median(startWall)), "", "");
    Row("query CPU time, median", Secs(Median(queryCpu)), "", "");
    return 0;
}

int Silent(int runs)
{
    // Accepts and holds every connection, and never says a word.
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, cInetTime::RemotePort)) {
        std::fprintf(stderr, "bench_query: cannot listen on 127.0.0.1:37: %s\n",
                     qPrintable(server.errorString()));
        return 2;
    }
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
        worst <= CpuTargetSecs ? "met" : "MISSED");
    Row("  median", Secs(Median(cpu)), "", "");
    Row("  wall time of that wait, median", Secs(Median(wall)), "", "");
    return 0;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    bool numeric = true;
    const int runs = args.size() > 1 ? args.at(1).toInt(&numeric) : 0;
    if ((mode != QLatin1String("replies") && mode != QLatin1String("silent")) || !numeric ||
        runs < 0 || args.size() > 2) {
        std::fprintf(stderr, "usage: bench_query replies|silent [RUNS]\n");
        return 2;
    }
    if (!InSandbox()) {
        // Outside, the server name is the real NIST server.
        std::fprintf(stderr, "bench_query: run it through tools/bench-query (the sandbox)\n");
        return 2;
    }
    if (mode == QLatin1String("replies"))
        return Replies(runs > 0 ? runs : 20);
    return Silent(runs > 0 ? runs : 3);
}
