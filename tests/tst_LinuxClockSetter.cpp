// The real clock setter, run where the kernel refuses to set the clock: it has
// to fall back to systemd-timedated on the system bus. The bus is the
// sandbox's private one with a mock of that service, or no bus at all.
//
// One binary, two registrations, each naming its bus in QUORVANE_TEST_BUS:
//   mock  tests/sandbox/sandbox --dbusmock   the cases that talk to the mock
//   none  tests/sandbox/sandbox              the case without any bus
// Without the variable the bus is guessed from the socket, for manual runs.
#include "doubles/InUserNamespace.h"
#include "platform/LinuxClockSetter.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <cerrno>
#include <ctime>

#ifndef SANDBOX_TOOLS
#error "SANDBOX_TOOLS must name tests/sandbox"
#endif

namespace
{
const QString AdminNeeded = QStringLiteral("administrator rights are needed");

// Far below the 25 s a D-Bus call waits for an answer by default.
constexpr qint64 PromptMs = 5000;

// Runs one of the sandbox's helper scripts; its output goes to *out.
bool RunTool(const QString& tool, const QStringList& args, QByteArray* out = nullptr)
{
    QProcess process;
    process.start(QStringLiteral(SANDBOX_TOOLS "/") + tool, args);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning().noquote() << tool << args.join(u' ') << "failed:" << process.errorString()
                             << process.readAllStandardError();
        return false;
    }
    if (out)
        *out = process.readAllStandardOutput();
    return true;
}

QByteArray BusMode()
{
    const QByteArray mode = qgetenv("QUORVANE_TEST_BUS");
    if (!mode.isEmpty())
        return mode;
    return QFile::exists(QStringLiteral("/run/dbus/system_bus_socket")) ? "mock" : "none";
}
} // namespace

class tst_LinuxClockSetter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The setter tries clock_settime first: outside a user namespace, as
        // root, that would set this machine's clock.
        if (!InUserNamespace())
            qFatal("tst_LinuxClockSetter must run inside tests/sandbox/sandbox (a user "
                   "namespace); refusing to run where it could set the clock");
        const timespec now{static_cast<time_t>(std::time(nullptr)), 0};
        errno = 0;
        QCOMPARE(clock_settime(CLOCK_REALTIME, &now), -1);
        QCOMPARE(errno, EPERM);

        mode = BusMode();
        QVERIFY2(mode == "mock" || mode == "none", "QUORVANE_TEST_BUS must be mock or none");
        if (mode == "mock") {
            QDBusConnection bus = QDBusConnection::systemBus();
            QVERIFY2(bus.isConnected(), qPrintable(bus.lastError().message()));
            QVERIFY2(
                bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.timedate1")),
                "no timedated mock on the bus (run with tests/sandbox/sandbox --dbusmock)");
        }
    }

    void init()
    {
        if (mode != "mock")
            return;
        QVERIFY(RunTool(QStringLiteral("timedated-ntp"), {QStringLiteral("off")}));
        QVERIFY(RunTool(QStringLiteral("timedated-fail"), {QStringLiteral("--off")}));
        QVERIFY(RunTool(QStringLiteral("settime-calls"), {QStringLiteral("--clear")}));
    }

    void timeService_data()
    {
        QTest::addColumn<bool>("ntp");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("message");
        QTest::addColumn<qint64>("unixSeconds");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("reason");

        const qint64 dec2026 = 1796592801;
        QTest::newRow("accepted") << false << QString() << QString() << dec2026 << true
                                  << QString();
        // Microseconds past 2^32 and past 2038 need 64-bit arithmetic throughout.
        QTest::newRow("accepted, year 2100")
            << false << QString() << QString() << qint64(4102444800) << true << QString();
        QTest::newRow("automatic sync on")
            << true << QString() << QString() << dec2026 << false
            << QStringLiteral("automatic time synchronisation is on");
        QTest::newRow("access denied")
            << false << QStringLiteral("org.freedesktop.DBus.Error.AccessDenied")
            << QStringLiteral("Permission denied") << dec2026 << false << AdminNeeded;
        QTest::newRow("password not given")
            << false
            << QStringLiteral("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired")
            << QStringLiteral("Interactive authentication required.") << dec2026 << false
            << AdminNeeded;
        QTest::newRow("other error: its message")
            << false << QStringLiteral("org.freedesktop.DBus.Error.Failed")
            << QStringLiteral("Failed to set time: Read-only file system") << dec2026 << false
            << QStringLiteral("Failed to set time: Read-only file system");
        QTest::newRow("other error without message: its name")
            << false << QStringLiteral("org.example.Quorvane.Broken") << QStringLiteral("")
            << dec2026 << false << QStringLiteral("org.example.Quorvane.Broken");
    }

    void timeService()
    {
        if (mode != "mock")
            QSKIP("needs the timedated mock (QUORVANE_TEST_BUS=mock, sandbox --dbusmock)");
        QFETCH(bool, ntp);
        QFETCH(QString, error);
        QFETCH(QString, message);
        QFETCH(qint64, unixSeconds);
        QFETCH(bool, ok);
        QFETCH(QString, reason);

        if (ntp)
            QVERIFY(RunTool(QStringLiteral("timedated-ntp"), {QStringLiteral("on")}));
        if (!error.isNull())
            QVERIFY(RunTool(QStringLiteral("timedated-fail"), {error, message}));

        QElapsedTimer elapsed;
        elapsed.start();
        const PlatformResult result = LinuxClockSetter().SetUtc(unixSeconds);
        QVERIFY2(elapsed.elapsed() < PromptMs, qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(result.ok, ok);
        QCOMPARE(result.reason, reason);

        // Exactly one request, refused or not, for the very microsecond.
        QByteArray calls;
        QVERIFY(RunTool(QStringLiteral("settime-calls"), {}, &calls));
        QCOMPARE(QString::fromUtf8(calls).split(u'\n', Qt::SkipEmptyParts),
                 QStringList{QStringLiteral("SetTime %1 false true").arg(unixSeconds * 1000000)});
    }

    void noBus()
    {
        if (mode != "none")
            QSKIP("needs a sandbox without a system bus (QUORVANE_TEST_BUS=none)");
        QElapsedTimer elapsed;
        elapsed.start();
        const PlatformResult result =
            LinuxClockSetter().SetUtc(QDateTime::currentSecsSinceEpoch() + 30);
        QVERIFY2(elapsed.elapsed() < PromptMs, qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(result.ok, false);
        QCOMPARE(result.reason, AdminNeeded);
        // Really no bus: the answer did not come from some service.
        QVERIFY(!QDBusConnection::systemBus().isConnected());
    }

private:
    QByteArray mode;
};

QTEST_GUILESS_MAIN(tst_LinuxClockSetter)
#include "tst_LinuxClockSetter.moc"
