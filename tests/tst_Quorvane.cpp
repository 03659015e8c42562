// Quorvane in one process: the time query, the clock setter, every zone and
// language, and the window over a fake PC. Runs in tests/sandbox --mock, so
// port 37 and the time service on the system bus are the test's own.
#include "platform/Clock.h"
#include "platform/DateValue.h"
#include "platform/Journal.h"
#include "platform/LinuxClockSetter.h"
#include "platform/LinuxSessionEnd.h"
#include "platform/MessageBox.h"
#include "platform/NetworkManagerMonitor.h"
#include "platform/Notifier.h"
#include "platform/PlatformServices.h"
#include "platform/Program.h"
#include "platform/SystemTimeZone.h"
#include "platform/XdgRunKey.h"
#include "time/ServerPace.h"
#include "time/cInetTime.h"
#include "ui/CheckBox.h"
#include "ui/ClickLabel.h"
#include "ui/NetworkWait.h"
#include "ui/frmMain.h"
#include "ui/modMain.h"

#include <QtDBus>
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>
#include <optional>

using namespace Qt::StringLiterals;

namespace
{
// Only tests/sandbox lets a test bind port 37, write /etc, own the buses and
// reach the clock-setting code (the kernel refuses there); elsewhere, as in a
// package build, the tests that need it are skipped.
bool InSandbox()
{
    QFile map(u"/proc/self/uid_map"_s);
    return qEnvironmentVariableIsSet("QUORVANE_SANDBOX") && map.open(QIODevice::ReadOnly) &&
           !map.readAll().contains("4294967295");
}
#define SANDBOXED()                                                                                \
    if (!InSandbox())                                                                              \
    QSKIP("runs only in tests/sandbox")

double At(int month, int day, int h, int m, int s, int year = 2005)
{
    return DateValue::FromDateTime(QDate(year, month, day), QTime(h, m, s));
}

QByteArray Word(qint64 unixSeconds)
{
    const quint32 word = qToBigEndian(quint32(unixSeconds + 2208988800));
    return QByteArray(reinterpret_cast<const char*>(&word), 4);
}

// 15 June 2005 12:00:00 UTC, as Unix time and on the wire.
constexpr qint64 June2005 = 1118836800;
const QByteArray June = Word(June2005);

// The PC as each test sets it: its network monitor, clock (the wait clock is
// real, like the wait's timer, and a test may step it on), zone, clock setter,
// program file, message boxes and journal.
struct Pc : NetworkMonitor, Clock, TimeZone, ClockSetter, Program, MessageBox, Journal, Notifier {
    Pc() { elapsed.start(); }
    double Now() const override { return now; }
    // With its fraction: by default half a second on, where a count's estimate lies.
    double PreciseNow() const override { return now + phase / 86400; }
    double WaitClock() const override { return elapsed.nsecsElapsed() / 1e9 + stepped; }
    qint32 GetTimeZoneInformation(TimeZoneInformation& info) const override
    {
        info = zone;
        return zoneResult;
    }
    void SetUtc(qint64 unixMicroseconds, QObject* context, Done done) override
    {
        asked << unixMicroseconds;
        QTimer::singleShot(answerAfterMs, context, [this, done] { done(answer); });
    }
    QString FileTitle() const override { return u"quorvane"_s; }
    QString FilePath() const override { return folder + u"/quorvane"_s; }
    void End() override { ended = true, endedAt = WaitClock(); }
    void Show(const QString& text) override { shown << text; }
    void Write(const QString& line) override { lines << line, wroteAt = WaitClock(); }
    PlatformResult Notify(const QString& summary, const QString& body) override
    {
        return notes << summary + ": " + body, PlatformResult::Success();
    }
    void Watch() override {}
    State Connection() const override { return network; }

    State network = State::Unknown;
    QElapsedTimer elapsed;
    double stepped = 0, wroteAt = 0, endedAt = 0;
    double now = At(6, 15, 12, 59, 30), phase = 0.5;
    qint32 zoneResult = DaylightTime;
    TimeZoneInformation zone{0, 0, -60};
    QList<qint64> asked; // instants asked for
    PlatformResult answer;
    int answerAfterMs = 0;
    QString folder = u"/opt/quorvane/bin"_s;
    bool ended = false;
    QStringList shown, lines, notes; // message boxes, journal lines and notifications
};

// On port 37 of every IPv4 address: sends the pieces 50 ms apart, then closes unless told not to.
struct FakeTimeServer : QTcpServer {
    FakeTimeServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = nextPendingConnection())
                for (qsizetype i = 0; i <= pieces.size(); ++i)
                    QTimer::singleShot(i * 50, client, [this, client, send = pieces, i] {
                        if (i < send.size())
                            client->write(send.at(i));
                        else if (close)
                            client->disconnectFromHost();
                    });
        });
        listen(QHostAddress::AnyIPv4, 37);
    }
    QList<QByteArray> pieces;
    bool close = true;
};

// From now on, the time service mock's SetTime runs this Python code.
void MockSetTime(const QString& code)
{
    QDBusInterface(u"org.freedesktop.timedate1"_s, u"/org/freedesktop/timedate1"_s,
                   u"org.freedesktop.DBus.Mock"_s, QDBusConnection::systemBus())
        .call(u"AddMethod"_s, u"org.freedesktop.timedate1"_s, u"SetTime"_s, u"xbb"_s, QString(),
              code);
}

// NetworkManager's mock takes that state: 40 connecting, 70 connected.
void SetManagerState(uint state)
{
    QDBusInterface(u"org.freedesktop.NetworkManager"_s, u"/org/freedesktop/NetworkManager"_s,
                   u"org.freedesktop.DBus.Mock"_s, QDBusConnection::systemBus())
        .call(u"SetGlobalConnectionState"_s, state);
}

QColor TextColour(const QWidget* label)
{
    return label->palette().color(QPalette::WindowText);
}

struct Stored {
    QByteArray saved;
    int autoClose, launch;
    QString server;
};

// One synchronisation: what the PC and the server do, and what the user sees.
struct Sync {
    QString host = u"time.test"_s;
    QList<QByteArray> reply{June};
    bool close = true;
    int zone = TimeZone::DaylightTime, bias = 0;
    double pc = At(6, 15, 12, 59, 30), phase = 0.5;
    int answerAfterMs = 0;
    QString refusal{}, status = u" Time Adjusted by 30 Sec"_s;
    int slack = 0;           // how far the offset may read from the status's
    qint64 setTo = June2005; // when the clock is to be set
    double takes = 0;        // seconds, at least
    int countdown = 0;       // seconds the countdown shows at the press
    QString again{};         // the server asked on a second press, a second later
};

// A start-up synchronisation while the network comes up, after 2.5 s.
struct Startup {
    QString host = u"late.test"_s, nss = u"files dns"_s, upCommand{};
    uint manager = 40; // NetworkManager's state until then; 0: no monitor
    bool button = false, waits = true;
    QString status = u" Time Adjusted by 30 Sec"_s;
    double takes = 2.5, limit = NetworkWait::LimitSecs;
};

struct SetterCase {
    QString bus{}, code{};
    int limitMs = 5000;
    QString reason{};
};
} // namespace
Q_DECLARE_METATYPE(Stored)
Q_DECLARE_METATYPE(Sync)
Q_DECLARE_METATYPE(Startup)
Q_DECLARE_METATYPE(SetterCase)

class tst_Quorvane : public QObject
{
    Q_OBJECT
    FakeTimeServer server;
    std::unique_ptr<Pc> pc;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<XdgRunKey> autostart;
    std::unique_ptr<PlatformServices> services;
    std::unique_ptr<frmMain> window;
    LinuxSessionEnd sessionEnd;

    // Whether the clock was set, and to the middle of that second.
    void Expect(bool set, qint64 unixSeconds)
    {
        QCOMPARE(pc->asked.size(), set ? 1 : 0);
        QVERIFY(!set || qAbs(pc->asked.at(0) - unixSeconds * 1000000 - 500000) < 100000);
    }

    // Loads the window over what a last run saved.
    frmMain& Open(const QByteArray& saved = {}, ClockSetter* setter = nullptr)
    {
        QFile settings(dir->filePath(u"settings.ini"_s));
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[Values]\n" + saved);
        settings.close();
        services.reset(new PlatformServices{*pc, *pc, setter ? *setter : *pc, *pc, *pc, *autostart,
                                            *pc, sessionEnd, *pc, *pc});
        window = std::make_unique<frmMain>(*services, settings.fileName());
        window->Load();
        return *window;
    }

    QStringList Saved() const // the store's key=value lines
    {
        QFile store(dir->filePath(u"settings.ini"_s));
        return store.open(QIODevice::ReadOnly) ? QString(store.readAll()).split(u'\n').filter(u"=")
                                               : QStringList();
    }

private slots:
    void init()
    {
        window.reset();
        server.pieces = {June};
        pc = std::make_unique<Pc>();
        dir = std::make_unique<QTemporaryDir>();
        autostart = std::make_unique<XdgRunKey>(dir->filePath(u"autostart"_s));
    }

    void clockSetter_data()
    {
        QTest::addColumn<SetterCase>("c");
        const QString raise = u"raise dbus.exceptions.DBusException('', name='%1')"_s;
        const QString rights = u"administrator rights are needed"_s;
        QTest::newRow("accepted") << SetterCase{};
        QTest::newRow("automatic sync on")
            << SetterCase{.code = raise.arg("org.freedesktop.timedate1.AutomaticTimeSyncEnabled"),
                          .reason = u"automatic time synchronisation is on"_s};
        QTest::newRow("no rights") << SetterCase{
            .code = raise.arg("org.freedesktop.DBus.Error.AccessDenied"), .reason = rights};
        QTest::newRow("no answer in time") << SetterCase{
            .code = u"__import__('time').sleep(1)"_s,
            .limitMs = 300,
            .reason = "the time service did not answer in time; it may still set the clock once "
                      "the request is granted"};
        QTest::newRow("no bus: directly") << SetterCase{.bus = u"unix:path=/run/none"_s};
        QTest::newRow("no bus, no rights")
            << SetterCase{.bus = u"unix:path=/run/none"_s, .reason = rights};
    }

    void clockSetter()
    {
        SANDBOXED();
        QFETCH(SetterCase, c);
        // Asked for the very microsecond; the time service first, although
        // setting the clock directly would succeed, or the kernel refuse here.
        MockSetTime("assert args == [1118836800123456, False, True], args\n" + c.code);
        timespec direct{};
        LinuxClockSetter service(c.bus, c.limitMs, [&](const timespec& when) {
            return direct = when, c.reason.isEmpty() ? 0 : LinuxClockSetter::SetRealtimeClock(when);
        });
        std::optional<PlatformResult> result;
        service.SetUtc(June2005 * 1000000 + 123456, this, [&](auto& answer) { result = answer; });
        QTRY_VERIFY(result.has_value());
        QCOMPARE(result->reason, c.reason);
        QCOMPARE(result->ok, c.reason.isEmpty());
        QCOMPARE(direct.tv_sec == June2005 && direct.tv_nsec == 123456000, !c.bus.isEmpty());
    }

    void everyZone_data()
    {
        QTest::addColumn<QDateTime>("at");
        const auto now = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch());
        // The count wraps between the first two; the third is far after.
        const auto wrap = QDateTime::fromSecsSinceEpoch(2085978495), late = wrap.addYears(64);
        for (const QByteArray& id : QTimeZone::availableTimeZoneIds()) {
            const QTimeZone zone(id);
            QList<QDateTime> instants{now, wrap, wrap.addSecs(2), late};
            for (const auto& change : {zone.previousTransition(now), zone.nextTransition(now)})
                if (change.atUtc.isValid())
                    instants << change.atUtc.addSecs(-3600) << change.atUtc.addSecs(3600);
            // Only what the count says in its era, 2000 to 2136; local mean
            // time, offset by seconds, went before any clock a PC is set by.
            for (const QDateTime& at : instants)
                if (quint64(at.toSecsSinceEpoch() - 946684800) <= 0xFFFFFFFF &&
                    zone.offsetFromUtc(at) % 60 == 0)
                    QTest::addRow("%s %s", id.data(), qPrintable(at.toString(Qt::ISODate)))
                        << at.toTimeZone(zone);
        }
    }

    void everyZone()
    {
        // The server says "at"; the PC clock, in that zone, is right or 30 s slow.
        QFETCH(QDateTime, at);
        qputenv("TZ", at.timeZone().id());
        for (const int slow : {0, 30}) {
            pc = std::make_unique<Pc>();
            pc->now = DateValue::FromDateTime(at.date(), at.time()) - slow / 86400.0;
            pc->zoneResult = SystemTimeZone::Query(at.timeZone(), at, pc->zone);
            cInetTime query(*pc, *pc, *pc);
            query.Convert(quint32(at.toSecsSinceEpoch() + 2208988800));
            QCOMPARE(query.AdjustedSecs(), slow);
            Expect(slow, at.toSecsSinceEpoch());
            QCOMPARE(DateValue::Format(query.ReturnedDate(), u"dddd dd mmm yyyy hh:mm:ss"_s),
                     at.toString(u"dddd dd MMM yyyy HH:mm:ss"_s));
        }
        qputenv("TZ", "UTC");
    }

    void everyLanguage_data()
    {
        QTest::addColumn<QLocale>("locale");
        for (const QLocale& locale : QLocale::matchingLocales(
                 QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory))
            QTest::newRow(qPrintable(locale.bcp47Name())) << locale;
    }

    void everyLanguage()
    {
        QFETCH(QLocale, locale);
        QLocale::setDefault(locale);
        // A hair below 13:00:00, as date values of whole seconds often are.
        const double at = At(12, 7, 13, 0, 0, 2026) - 1e-9;
        const QString time = DateValue::Format(at, u"hh:mm:ss"_s);
        const auto groups = QRegularExpression(u"^(\\d\\d)([^\\s\\w])(\\d\\d)\\2\\3$"_s,
                                               QRegularExpression::UseUnicodePropertiesOption)
                                .match(time);
        QVERIFY2(groups.hasMatch(), qPrintable(time));
        QCOMPARE(groups.captured(1) + groups.captured(3), locale.toString(QTime(13, 0), u"HHmm"_s));
        const QString date = DateValue::Format(at, u"dddd dd mmm yyyy"_s);
        QVERIFY2(date.contains(locale.toString(QDate(2026, 12, 7), u"dd MMM yyyy"_s)),
                 qPrintable(date));
        QLocale::setDefault(QLocale::c());
    }

    void load_data()
    {
        QTest::addColumn<Stored>("s");
        QTest::newRow("nothing saved") << Stored{"", 1, 0, ""};
        QTest::newRow("last run's choices")
            << Stored{"AutoCloseQuorvane=0\nchkRun=0\ncboServers=time-b-g.nist.gov", 0, 0,
                      "time-b-g.nist.gov"};
        QTest::newRow("greyed") << Stored{"AutoCloseQuorvane=2", 2, 0, ""};
        QTest::newRow("unreadable") << Stored{"chkRun=x\ncboServers=gone.example", 1, 0, ""};
        QTest::newRow("a list, then a good value") << Stored{
            "AutoCloseQuorvane=0, 1\ncboServers=time-b-g.nist.gov", 1, 0, "time-b-g.nist.gov"};
        QTest::newRow("launch box checked: registered anew") << Stored{"chkRun=1", 1, 1, ""};
    }

    void load()
    {
        QFETCH(Stored, s);
        frmMain& w = Open(s.saved);
        QCOMPARE(w.Label1->text(), u"12:59:30"_s); // before any synchronisation
        QCOMPARE(modMain::CurrentServer, s.server);
        QCOMPARE(w.AutoCloseQuorvane->Value(), s.autoClose);
        QCOMPARE(w.chkRun->Value(), s.launch);
        // With the box checked, the ninth tick saves and ends; then the
        // session manager's end of the session saves.
        for (int tick = 0; tick < 9 && w.Timer3->isActive(); ++tick)
            w.Timer3_Timer();
        QCOMPARE(pc->ended, s.autoClose == 1);
        QCOMPARE(w.Label3->text(),
                 s.autoClose == 1 ? "Auto Close 0 seconds." : " Auto Close Stopped.");
        emit qApp->commitDataRequest(*qApp->findChild<QSessionManager*>());
        QCOMPARE(Saved(), QStringList({u"AutoCloseQuorvane=%1"_s.arg(s.autoClose),
                                       "cboServers=" + s.server, u"chkRun=%1"_s.arg(s.launch)}));
    }

    void synchronise_data()
    {
        QTest::addColumn<Sync>("s");
        const QString notFound = u" Cannot find Server."_s, noReply = u" No reply from Server."_s;
        QTest::newRow("behind, daylight time") << Sync{};
        QTest::newRow("ahead") << Sync{.pc = At(6, 15, 13, 0, 30),
                                       .status = u" Time Adjusted by -30 Sec"_s};
        QTest::newRow("standard time west")
            << Sync{.zone = 1, .bias = 300, .pc = At(6, 15, 6, 59, 30)};
        QTest::newRow("zone unknown") << Sync{.zone = -1, .bias = 60, .pc = At(6, 15, 10, 59, 30)};
        QTest::newRow("top value") << Sync{
            .reply = {QByteArray(4, '\xff')}, .pc = At(2, 7, 7, 27, 45, 2036), .setTo = 2085978495};
        QTest::newRow("eight bytes") << Sync{.reply = {June + June}};
        QTest::newRow("two pieces") << Sync{.reply = {June.left(2), June.mid(2)}};
        QTest::newRow("zero: no time")
            << Sync{.reply = {QByteArray(4, 0)}, .status = u" Bad reply from Server."_s};
        QTest::newRow("clock refused, later")
            << Sync{.answerAfterMs = 300,
                    .refusal = u"refused"_s,
                    .status = u" Cannot set Clock. Offset 30 Sec; the clock was not set: refused"_s,
                    .takes = 0.3};
        QTest::newRow("no daylight rule: the wait runs out")
            << Sync{.zone = 0, .status = u" Time Adjusted by -3570 Sec"_s, .takes = 5};
        QTest::newRow("unknown name")
            << Sync{.host = u"nowhere.invalid"_s, .status = notFound, .takes = 5};
        QTest::newRow("connection refused")
            << Sync{.host = u"::1"_s, .status = notFound, .takes = 5};
        QTest::newRow("silent") << Sync{.reply = {}, .close = false, .status = noReply, .takes = 5};
        QTest::newRow("closed without a reply") << Sync{.reply = {}, .status = noReply, .takes = 5};
        QTest::newRow("first address silent") << Sync{.host = u"dual.test"_s, .takes = 0.25};
        QTest::newRow("first address refuses") << Sync{.host = u"refused.test"_s};
        QTest::newRow("pressed again: 4 s apart") << Sync{.again = u"time.test"_s};
        QTest::newRow("another server: at once") << Sync{.again = u"time-a-g.nist.gov"_s};
        QTest::newRow("countdown at 1: three more seconds") << Sync{.countdown = 1};
        QTest::newRow("countdown at 5: as it was") << Sync{.countdown = 5};
        QTest::newRow("countdown at 1, a failure: left as a notification") << Sync{
            .reply = {QByteArray(4, 0)}, .status = u" Bad reply from Server."_s, .countdown = 1};
        // The server read its clock as the connection came in; its reply took
        // 0 or 100 ms. A right clock is never moved; one that is off always is.
        for (const int slow : {0, 2, -2, 30, -30})
            for (const int travel : {0, 100})
                for (const double phase : {0.02, 0.3, 0.6, 0.97})
                    if (slow == 0 || phase == 0.02 || phase == 0.97)
                        QTest::addRow("%d s slow, %d ms, server read its clock %.2f s into the "
                                      "second",
                                      slow, travel, phase)
                            << Sync{.reply = travel ? QList<QByteArray>{{}, {}, June}
                                                    : QList<QByteArray>{June},
                                    .pc = At(6, 15, 13, 0, 0) - slow / 86400.0,
                                    .phase = phase + travel / 1000.0,
                                    .status = u" Time Adjusted by %1 Sec"_s.arg(slow),
                                    .slack = slow ? 1 : 0};
    }

    void synchronise()
    {
        SANDBOXED();
        QFETCH(Sync, s);
        frmMain& w = Open();
        server.pieces = s.reply;
        server.close = s.close;
        pc->zoneResult = s.zone;
        pc->zone.Bias = s.bias;
        pc->now = s.pc;
        pc->phase = s.phase;
        pc->answerAfterMs = s.answerAfterMs;
        pc->answer = {s.refusal.isEmpty(), s.refusal};
        modMain::CurrentServer = s.host;
        if (s.countdown) {
            w.AutoCloseCount = s.countdown;
            w.Timer3->start();
        }
        QList<double> seen; // connections, as the server sees them
        QObject context;
        connect(&server, &QTcpServer::newConnection, &context, [&] { seen << pc->WaitClock(); });
        const double start = pc->WaitClock();
        w.cmdSynchTime_Click();
        const double secs = pc->WaitClock() - start;
        QVERIFY2(secs >= s.takes && secs <= qMax(1.0, 2 * s.takes),
                 qPrintable(QString::number(secs)));
        QString line = pc->lines.value(0); // with the tooltip's reason
        if (const int read = line.section(u' ', -2, -2).toInt(),
            row = s.status.section(' ', -2, -2).toInt();
            qAbs(read - row) <= s.slack)
            line.replace(u" %1 Sec"_s.arg(read), u" %1 Sec"_s.arg(row));
        QCOMPARE(line, s.host + ':' + s.status);
        QCOMPARE(TextColour(w.lblStatus),
                 QColor(s.status.startsWith(" Time") ? Qt::black : Qt::red));
        QVERIFY(w.cmdSynchTime->isEnabled() && w.Timer1->isActive());
        Expect(!s.status.contains(u"Server") && !s.status.endsWith(u" 0 Sec"), s.setTo);
        // The outcome stays on screen at least three of the countdown's seconds.
        int ticks = 0;
        for (; s.countdown && !pc->ended && ticks < 10; ++ticks)
            w.Timer3_Timer();
        QCOMPARE(ticks, s.countdown ? qMax(3, s.countdown) : 0);
        const bool failed = !s.status.startsWith(u" Time");
        QCOMPARE(pc->notes, s.countdown && failed
                                ? QStringList(u"Quorvane: "_s + s.status.trimmed() + '\n' + s.host)
                                : QStringList());
        if (s.again.isEmpty())
            return;
        pc->stepped += 1;
        modMain::CurrentServer = s.again;
        w.cmdSynchTime_Click();
        QCOMPARE(pc->lines.value(1), s.again + ':' + s.status);
        // Public servers ask for 4 s between queries; room for the first connection seen late.
        const double apart = seen.value(1) - seen.value(0);
        QVERIFY2(s.again == s.host ? apart >= 4 - 0.05 : apart < 1.5,
                 qPrintable(QString::number(apart)));
    }

    void startUp_data()
    {
        QTest::addColumn<Startup>("s");
        const QString notFound = u" Cannot find Server."_s;
        QTest::newRow("button: at once")
            << Startup{.button = true, .waits = false, .status = notFound, .takes = 5};
        QTest::newRow("no such name: at once")
            << Startup{.nss = u"files"_s, .waits = false, .status = notFound, .takes = 5};
        QTest::newRow("gives up") << Startup{
            .status = notFound + " no network connection came up within 1.5 seconds",
            .takes = 1.5,
            .limit = 1.5};
        QTest::newRow("connecting, the name resolves later")
            << Startup{.upCommand = u"echo 127.0.0.1 late.test >>/etc/hosts"_s};
        QTest::newRow("no route for a while, no monitor")
            << Startup{.host = u"route.test"_s,
                       .upCommand = u"ip addr add 10.99.0.1/32 dev lo"_s,
                       .manager = 0,
                       .takes = 4};
    }

    void startUp()
    {
        SANDBOXED();
        QFETCH(Startup, s);
        QFile nss(u"/etc/nsswitch.conf"_s);
        QVERIFY(nss.open(QIODevice::WriteOnly) && nss.write("hosts: " + s.nss.toUtf8() + '\n'));
        nss.close();
        SetManagerState(s.manager ? s.manager : 70);
        NetworkManagerMonitor manager;
        frmMain& w = Open();
        w.AutoCloseCount = 1; // runs out during the wait
        modMain::CurrentServer = s.host;
        // Floors count from before anything was set going; ceilings from the
        // moment the network was up, or else from the synchronisation's start.
        const double before = pc->WaitClock();
        double upAt = 0;
        QTimer::singleShot(2500, Qt::PreciseTimer, &manager, [&] {
            QProcess::execute(u"sh"_s, {u"-c"_s, s.upCommand});
            SetManagerState(70);
            upAt = pc->WaitClock();
        });
        NetworkWait wait(manager, *pc, s.limit);
        const double began = pc->WaitClock();
        if (s.button)
            w.cmdSynchTime_Click();
        else if (s.manager)
            w.Synchronise(&wait);
        else // as the first showing runs it, over the fake PC's monitor
            w.Form_Activate();
        const double done = pc->WaitClock();
        const double late = s.upCommand.isEmpty()
                                ? done - began - s.takes
                                : done - upAt - (s.manager ? 0 : NetworkWait::RetryMs / 1000.0);
        QVERIFY2(done - before >= s.takes && late <= 0.3,
                 qPrintable(u"done after %1 s, %2 s late"_s.arg(done - before).arg(late)));
        QVERIFY2(pc->lines.size() == 1 && pc->lines[0].startsWith(s.host + ':' + s.status) &&
                     pc->lines[0].contains(u"waiting"_s) == s.waits,
                 qPrintable(pc->lines.join('\n')));
        Expect(s.status.startsWith(u" Time"), June2005);
        // A countdown that ran out while waiting leaves the outcome readable.
        QCOMPARE(pc->ended, !s.waits);
        if (s.waits)
            QCOMPARE(w.Label3->text(), u"Auto Close 3 seconds."_s);
    }

    void clicks_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("stops");
        int row = 0; // clicks on the first seven stop the countdown
        for (const char* control : {"Label3", "Label1", "lblStatus", "Image1", "AutoCloseQuorvane",
                                    "chkRun", "cboServers", "cmdSynchTime", "lblPcTime", "Label2"})
            QTest::newRow(control) << QString(control) << (row++ < 7);
    }

    void clicks()
    {
        QFETCH(QString, control);
        QFETCH(bool, stops);
        frmMain& w = Open();
        modMain::CurrentServer = u"127.0.0.1"_s;
        auto* target = w.findChild<QWidget*>(control);
        if (control == u"cboServers") // a user's pick: the next server asked
            QTest::keyClick(target, Qt::Key_Down);
        else
            QTest::mouseClick(target, Qt::LeftButton);
        QCOMPARE(w.Timer3->isActive(), !stops);
        QCOMPARE(w.Label3->text() == u" Auto Close Stopped.", stops);
        QCOMPARE(modMain::CurrentServer,
                 w.cboServers->currentIndex() ? "127.0.0.1" : "time.nist.gov");
    }

    void launchAtLogon()
    {
        // Every character that the entry's quoting must carry through.
        pc->folder = uR"(/opt/a "b" `c` $d \e %f)"_s;
        frmMain& w = Open();
        QFile entry(autostart->EntryPath(u"quorvane"_s));
        QTest::mouseClick(w.chkRun, Qt::LeftButton);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QVERIFY(
            entry.readAll().contains(R"(Exec="/opt/a \\"b\\" \\`c\\` \\$d \\\\e %%f/quorvane")"));
        QCOMPARE(QProcess::execute(u"desktop-file-validate"_s, {entry.fileName()}), 0);
        QTest::mouseClick(w.chkRun, Qt::LeftButton);
        QVERIFY(!entry.exists());
        // A file stands where the autostart folder should be made.
        QFile blocker(dir->filePath(u"autostart"_s));
        QVERIFY(QDir(dir->path()).rmdir(blocker.fileName()) && blocker.open(QIODevice::WriteOnly));
        QTest::mouseClick(w.chkRun, Qt::LeftButton); // ticking, then unticking
        QTest::mouseClick(w.chkRun, Qt::LeftButton);
        QCOMPARE(pc->shown, QStringList(2, u"Error 20 opening key\r\n"_s));
    }

    void clockSettingTakesLong_data()
    {
        QTest::addColumn<QString>("action");
        for (const char* action : {"click", "wait", "close"})
            QTest::newRow(action) << QString(action);
    }

    void clockSettingTakesLong()
    {
        SANDBOXED();
        QFETCH(QString, action);
        // Three seconds, as if a password were typed; the countdown runs out after one.
        MockSetTime(u"__import__('time').sleep(3)"_s);
        LinuxClockSetter service;
        frmMain& w = Open({}, &service);
        modMain::CurrentServer = u"time.test"_s;
        w.AutoCloseCount = 1;
        bool ended = false;
        const double armed = pc->WaitClock();
        double probed = 0;
        QTimer::singleShot(1500, &w, [&] {
            probed = pc->WaitClock();
            if (action == u"click")
                QTest::mouseClick(w.Label1, Qt::LeftButton);
            if (action == u"close")
                w.close();
            ended = pc->ended;
        });
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(!pc->lines.isEmpty(), 7000);
        QVERIFY2(probed - armed < 2.5, "the window took no events while the clock was set");
        // Closing ends at once; a click stops the countdown, else the outcome
        // stays readable for three more seconds.
        QCOMPARE(ended, action == u"close");
        QCOMPARE(pc->ended, action == u"close");
        QCOMPARE(w.lblStatus->text(), u" Time Adjusted by 30 Sec"_s);
        QCOMPARE(w.Label3->text(),
                 action == u"click" ? u" Auto Close Stopped."_s : u"Auto Close 3 seconds."_s);
        QTRY_VERIFY_WITH_TIMEOUT(pc->ended || action != u"wait", 4000);
        QVERIFY(action != u"wait" || pc->endedAt - pc->wroteAt >= 2.99);
    }

    void onScreen()
    {
        // A dark theme, the keyboard and a screen reader.
        SANDBOXED();
        frmMain& w = Open();
        modMain::CurrentServer = u"time.test"_s;
        pc->answer = PlatformResult::Failure(u"refused"_s);
        w.show();
        QTRY_COMPARE(w.lblStatus->text(), u" Cannot set Clock."_s);
        QCOMPARE(TextColour(w.lblStatus), QColor(Qt::red));
        QCOMPARE(TextColour(w.lblPcTime), QColor(Qt::black));
        const QPalette light = QApplication::palette();
        const QPalette dark(QColor(0x35, 0x35, 0x35)); // light text on dark grey
        QApplication::setPalette(dark);
        QCoreApplication::processEvents();
        auto readable = [&](const QWidget* label, QPalette::ColorRole behind) {
            return frmMain::Contrast(TextColour(label), dark.color(behind)) >= 4.5;
        };
        QVERIFY(readable(w.lblStatus, QPalette::Window) && readable(w.lblPcTime, QPalette::Base));
        // Anti-aliased glyphs never quite reach their colour: the reddest
        // pixels drawn must still read at 4.5:1.
        const QImage drawn = w.grab(w.lblStatus->geometry()).toImage();
        double reddest = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                if (const QColor pixel = drawn.pixelColor(x, y); pixel.red() > pixel.green())
                    reddest = qMax(reddest, frmMain::Contrast(pixel, dark.color(QPalette::Window)));
        QVERIFY2(reddest >= 4.5, qPrintable(QString::number(reddest)));
        // Tab goes round the button, the list and both boxes; Enter presses the button.
        QVERIFY(QTest::qWaitForWindowActive(&w));
        for (QWidget* control : QWidgetList{w.cmdSynchTime, w.cboServers, w.chkRun,
                                            w.AutoCloseQuorvane, w.cmdSynchTime}) {
            QCOMPARE(QApplication::focusWidget(), control);
            QTest::keyClick(control, Qt::Key_Tab);
        }
        pc->answer = PlatformResult::Success();
        pc->stepped += ServerPace::IntervalSecs;
        QTest::keyClick(w.cmdSynchTime, Qt::Key_Return);
        QCOMPARE(w.lblStatus->text(), u" Time Adjusted by 30 Sec"_s);
        QVERIFY(readable(w.lblStatus, QPalette::Window));
        QApplication::setPalette(light);
        QTRY_COMPARE(TextColour(w.lblStatus), QColor(Qt::black));
        // WCAG's figure for the lightest grey that passes on white.
        QCOMPARE(qRound(frmMain::Contrast(QColor(0x76, 0x76, 0x76), Qt::white) * 100), 454);
        // What a screen reader says of the list and the status line.
        const auto list = QAccessible::queryAccessibleInterface(w.cboServers);
        QVERIFY(!list->relations(QAccessible::Label).isEmpty());
        QCOMPARE(
            list->relations(QAccessible::Label)[0].first->text(QAccessible::Name) + '/' +
                list->text(QAccessible::Description) + '/' +
                QAccessible::queryAccessibleInterface(w.lblStatus)->text(QAccessible::Description),
            u"Time server/The time server to ask/The outcome of the last synchronisation"_s);
        // Only the first showing synchronised.
        w.hide();
        w.show();
        QTest::qWait(100);
        QCOMPARE(pc->lines.size(), 2);
    }
};

QTEST_MAIN(tst_Quorvane)
#include "tst_Quorvane.moc"
