// Quorvane in one process: the time query and its conversion, the clock setter, every zone and
// language, and the window over a fake PC. Runs in tests/sandbox --mock, so port 37 of every IPv4
// address (the chosen servers) and of fd00::1 (the others), and the time service on the system
// bus, are the test's own.
#include "platform/Clock.h"
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
#include "time/DateValue.h"
#include "time/ServerPace.h"
#include "time/cInetTime.h"
#include "ui/CheckBox.h"
#include "ui/ColourRules.h"
#include "ui/ServerBox.h"
#include "ui/StatusLine.h"
#include "ui/frmMain.h"
#include "ui/modMain.h"

#include <QtDBus>
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>
#include <cmath>
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

// A summer's day a year after this release.
const QDate Day(cInetTime::Release().date().year() + 1, 6, 15);

double At(int h, int m, int s, const QDate& day = Day)
{
    return DateValue::FromDateTime(day, QTime(h, m, s));
}

qint64 Unix(const QDate& day)
{
    return QDateTime(day, QTime(12, 0), QTimeZone::utc()).toSecsSinceEpoch();
}

QByteArray Word(qint64 unixSeconds)
{
    const quint32 word = qToBigEndian(quint32(unixSeconds + 2208988800));
    return QByteArray(reinterpret_cast<const char*>(&word), 4);
}

// Noon that day, UTC, as Unix time and on the wire.
const qint64 Noon = Unix(Day);
const QByteArray NoonWord = Word(Noon);

// The PC as each test sets it: its network monitor, clock, zone, clock setter,
// program file, message boxes, journal and notifications.
struct Pc : NetworkMonitor, Clock, TimeZone, ClockSetter, Program, MessageBox, Journal, Notifier {
    Pc() { elapsed.start(); }
    // The wait clock is real, like the timers, and may be stepped on or
    // pinned; the PC clock reads now + phase at readAt and runs with it.
    double WaitClock() const override
    {
        return pinned ? *pinned : elapsed.nsecsElapsed() / 1e9 + stepped;
    }
    double PreciseNow() const override { return now + (phase + WaitClock() - readAt) / 86400; }
    double Now() const override { return std::floor(PreciseNow() * 86400 + 1e-6) / 86400; }
    qint32 GetTimeZoneInformation(TimeZoneInformation& info) const override
    {
        info = zone;
        return zoneResult;
    }
    void SetUtc(qint64 unixMicroseconds, QObject* context, Done done) override
    {
        asked << unixMicroseconds;
        askedAt = WaitClock();
        QTimer::singleShot(answerAfterMs, context, [this, done] { done(answer); });
    }
    QString FileTitle() const override { return u"quorvane"_s; }
    QString FilePath() const override { return folder + u"/quorvane"_s; }
    // As the real end: no event is delivered after it.
    void End() override { ended = true, endedAt = WaitClock(), qApp->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        return event->type() != QEvent::DeferredDelete;
    }
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
    std::optional<double> pinned;
    double stepped = 0, readAt = 0, askedAt = 0, wroteAt = 0, endedAt = 0;
    double now = At(12, 59, 30), phase = 0.5;
    qint32 zoneResult = DaylightTime;
    TimeZoneInformation zone{0, 0, -60};
    QList<qint64> asked; // instants asked for
    PlatformResult answer;
    int answerAfterMs = 0;
    QString folder = u"/opt/quorvane/bin"_s;
    bool ended = false;
    QStringList shown, lines, notes; // message boxes, journal lines and notifications
};

// On port 37 of one address: reads its clock as a connection comes in (the PC
// clock then reads pc->now + pc->phase), sends the pieces 50 ms apart, then
// closes unless told not to.
struct FakeTimeServer : QTcpServer {
    FakeTimeServer(const QHostAddress& address, std::unique_ptr<Pc>& pc)
    {
        connect(this, &QTcpServer::newConnection, this, [this, &pc] {
            while (QTcpSocket* client = nextPendingConnection()) {
                seen << (pc->readAt = pc->WaitClock());
                for (qsizetype i = 0; i <= pieces.size(); ++i)
                    QTimer::singleShot(i * 50, client, [this, client, send = pieces, i] {
                        if (i < send.size())
                            client->write(send.at(i));
                        else if (close)
                            client->disconnectFromHost();
                    });
            }
        });
        listen(address, 37);
    }
    QList<QByteArray> pieces;
    bool close = true;
    QList<double> seen; // connections, on the wait clock
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

// The offset may read a second either way of the one expected: the estimate
// can be off by half a second and more, as the delays fall.
QString Loose(QString told, const QString& expected)
{
    static const QRegularExpression offset(u"(-?\\d+) Sec"_s);
    const auto read = offset.match(told), meant = offset.match(expected);
    if (read.hasMatch() && meant.hasMatch() &&
        qAbs(read.captured(1).toLongLong() - meant.captured(1).toLongLong()) <= 1)
        told.replace(read.capturedStart(1), read.capturedLength(1), meant.captured(1));
    return told;
}

struct Stored {
    QByteArray saved;
    int autoClose, launch;
    QString server;
};

// One synchronisation: what the PC and the servers do, and what is told.
struct Sync {
    QString host = u"time-a-g.nist.gov"_s;
    QList<QByteArray> reply{NoonWord}, others{}; // from the chosen server and the others
    bool close = true;
    int zone = TimeZone::DaylightTime, bias = 0;
    double pc = At(12, 59, 30);
    int answerAfterMs = 0;
    QString refusal{};
    QString status = u" Time Adjusted by 30 Sec"_s, reason{}, note{}; // the journal's addition
    bool red = false;
    std::optional<qint64> setTo = Noon; // the second whose middle the clock is set to
    int asked = 0;                      // connections to the other servers
    double takes = 0;                   // seconds, at least
    int countdown = 0, ticks = 0;       // the countdown at the press, its ticks after the outcome
    QString again{};                    // the server asked on a second press, a second later
};

// One that fails: told in red, and the clock is left as it is.
Sync Fails(Sync s)
{
    s.red = true;
    s.setTo.reset();
    return s;
}

// A start-up synchronisation while the network comes up, after 2.5 s.
struct Startup {
    QString host = u"late.test"_s, nss = u"files dns"_s, upCommand{};
    uint manager = 40; // NetworkManager's state until then; 0: no monitor
    bool button = false, waits = true;
    QString status = u" Time Adjusted by 30 Sec"_s;
    bool set = true;
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
    std::unique_ptr<Pc> pc;
    FakeTimeServer server{QHostAddress::AnyIPv4, pc}, others{QHostAddress(u"fd00::1"_s), pc};
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<XdgRunKey> autostart;
    std::unique_ptr<PlatformServices> services;
    std::unique_ptr<frmMain> window;
    LinuxSessionEnd sessionEnd;

    // Whether the clock was asked to be set, and to the middle of that second,
    // carried forward from when the server read its clock.
    void Expect(std::optional<qint64> setTo)
    {
        QCOMPARE(pc->asked.size(), setTo ? 1 : 0);
        const double carried = pc->askedAt - server.seen.value(0);
        const qint64 off = setTo ? pc->asked.at(0) - *setTo * 1000000 - 500000 - carried * 1e6 : 0;
        QVERIFY2(qAbs(off) < 450000, qPrintable(QString::number(off)));
    }

    // Loads the window over what a last run saved.
    frmMain& Open(const QByteArray& saved = {}, ClockSetter* setter = nullptr,
                  NetworkMonitor* monitor = nullptr)
    {
        QFile settings(dir->filePath(u"settings.ini"_s));
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[Values]\n" + saved);
        settings.close();
        services.reset(new PlatformServices{*pc, *pc, setter ? *setter : *pc, *pc, *pc, *autostart,
                                            *pc, sessionEnd, monitor ? *monitor : *pc, *pc});
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
        pc = std::make_unique<Pc>();
        server.pieces = {NoonWord};
        server.close = true;
        others.pieces.clear();
        server.seen.clear();
        others.seen.clear();
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
        const qint64 at = Noon * 1000000 + 123456;
        MockSetTime(u"assert args == [%1, False, True], args\n"_s.arg(at) + c.code);
        timespec direct{};
        LinuxClockSetter service(c.bus, c.limitMs, [&](const timespec& when) {
            return direct = when, c.reason.isEmpty() ? 0 : LinuxClockSetter::SetRealtimeClock(when);
        });
        std::optional<PlatformResult> result;
        service.SetUtc(at, this, [&](auto& answer) { result = answer; });
        QTRY_VERIFY(result.has_value());
        QCOMPARE(result->reason, c.reason);
        QCOMPARE(result->ok, c.reason.isEmpty());
        QCOMPARE(direct.tv_sec == Noon && direct.tv_nsec == 123456000, !c.bus.isEmpty());
    }

    void conversion_data()
    {
        QTest::addColumn<double>("slow");  // seconds the PC clock is behind; negative: ahead
        QTest::addColumn<double>("phase"); // how far into its second the server read its clock
        QTest::addColumn<int>("travelMs"); // how long its reply took
        for (const double slow : {0.0, 1.5, -1.5, 2.0, -2.0, 30.0, -30.0})
            for (const int travel : {0, 100})
                for (const double phase : {0.02, 0.3, 0.6, 0.97})
                    QTest::addRow("%g s slow, %d ms, read %.2f s into its second", slow, travel,
                                  phase)
                        << slow << phase << travel;
    }

    void conversion()
    {
        // On a clock that stands still as the reply is converted: the server
        // read its clock as the connection came in, and the reply arrived
        // travel later.
        QFETCH(double, slow);
        QFETCH(double, phase);
        QFETCH(int, travelMs);
        pc->pinned = 100;
        pc->readAt = 100 - travelMs / 1000.0;
        pc->now = At(13, 0, 0);
        pc->phase = phase - slow;
        cInetTime query(*pc, *pc);
        query.connectingAt = pc->readAt;
        query.arrivedAt = 100;
        query.Convert(quint32(Noon + 2208988800));
        // A right clock is never moved; one that is off always is, and reads
        // what it is off by to within a second.
        const int read = query.AdjustedSecs();
        QVERIFY2(slow == 0 ? read == 0 : read != 0 && qAbs(read - slow) <= 1,
                 qPrintable(QString::number(read)));
        // The middle of the server's second, carried forward by half the
        // travel, and by the time since when it is asked for later.
        QCOMPARE(query.Estimate(), Noon * 1000000 + 500000 + travelMs * 500);
        pc->pinned = 110;
        QCOMPARE(query.Estimate(), Noon * 1000000 + 10500000 + travelMs * 500);
    }

    void everyZone_data()
    {
        QTest::addColumn<QDateTime>("at");
        const auto now = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch());
        // The count wraps between the first two; the third is far after.
        const auto wrap = QDateTime::fromSecsSinceEpoch(2085978495), late = wrap.addYears(50);
        const qint64 release = cInetTime::Release().toSecsSinceEpoch();
        for (const QByteArray& id : QTimeZone::availableTimeZoneIds()) {
            const QTimeZone zone(id);
            QList<QDateTime> instants{now, wrap, wrap.addSecs(2), late};
            for (const auto& change : {zone.previousTransition(now), zone.nextTransition(now)})
                if (change.atUtc.isValid())
                    instants << change.atUtc.addSecs(-3600) << change.atUtc.addSecs(3600);
            // Only what the count says in its era, from this release on; local
            // mean time, offset by seconds, went before any clock a PC is set by.
            for (const QDateTime& at : instants)
                if (quint64(at.toSecsSinceEpoch() - release) < 0x80000000 &&
                    zone.offsetFromUtc(at) % 60 == 0)
                    QTest::addRow("%s %s", id.data(), qPrintable(at.toString(Qt::ISODate)))
                        << at.toTimeZone(zone);
        }
    }

    void everyZone()
    {
        // The server says "at"; the PC clock, in that zone, is right or 30 s slow.
        QFETCH(QDateTime, at);
        const auto utc = qScopeGuard([] { qputenv("TZ", "UTC"); });
        qputenv("TZ", at.timeZone().id());
        for (const int slow : {0, 30}) {
            pc = std::make_unique<Pc>();
            pc->pinned = 0;
            pc->now = DateValue::FromDateTime(at.date(), at.time()) - slow / 86400.0;
            pc->zoneResult = SystemTimeZone::Query(at.timeZone(), at, pc->zone);
            cInetTime query(*pc, *pc);
            query.Convert(quint32(at.toSecsSinceEpoch() + 2208988800));
            QCOMPARE(query.AdjustedSecs(), slow);
            QCOMPARE(query.Estimate(), at.toSecsSinceEpoch() * 1000000 + 500000);
            QCOMPARE(DateValue::Format(query.ReturnedDate(), u"dddd dd mmm yyyy hh:mm:ss"_s),
                     at.toString(u"dddd dd MMM yyyy HH:mm:ss"_s));
        }
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
        const auto c = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
        QLocale::setDefault(locale);
        // A hair below 13:00:00, as date values of whole seconds often are.
        const double at = At(13, 0, 0, QDate(2026, 12, 7)) - 1e-9;
        const QString time = DateValue::Format(at, u"hh:mm:ss"_s);
        const auto groups = QRegularExpression(u"^(\\d\\d)([^\\s\\w])(\\d\\d)\\2\\3$"_s,
                                               QRegularExpression::UseUnicodePropertiesOption)
                                .match(time);
        QVERIFY2(groups.hasMatch(), qPrintable(time));
        QCOMPARE(groups.captured(1) + groups.captured(3), locale.toString(QTime(13, 0), u"HHmm"_s));
        const QString date = DateValue::Format(at, u"dddd dd mmm yyyy"_s);
        QVERIFY2(date.contains(locale.toString(QDate(2026, 12, 7), u"dd MMM yyyy"_s)),
                 qPrintable(date));
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
        pc->phase = 0;
        frmMain& w = Open(s.saved);
        QCOMPARE(w.Label1->text(), u"12:59:30"_s); // before any synchronisation
        QCOMPARE(modMain::CurrentServer, s.server);
        QCOMPARE(w.AutoCloseQuorvane->Value(), s.autoClose);
        QCOMPARE(w.chkRun->Value(), s.launch);
        // With the box checked, the ninth tick saves and ends; else the end
        // of the session saves.
        for (int tick = 0; tick < 9 && w.Timer3->isActive(); ++tick)
            w.Timer3_Timer();
        QCOMPARE(pc->ended, s.autoClose == 1);
        QCOMPARE(w.Label3->text(),
                 s.autoClose == 1 ? "Auto Close 0 seconds." : " Auto Close Stopped.");
        if (!pc->ended)
            emit qApp->commitDataRequest(*qApp->findChild<QSessionManager*>());
        QCOMPARE(Saved(), QStringList({u"AutoCloseQuorvane=%1"_s.arg(s.autoClose),
                                       "cboServers=" + s.server, u"chkRun=%1"_s.arg(s.launch)}));
    }

    void synchronise_data()
    {
        QTest::addColumn<Sync>("s");
        const QString notFound = u" Cannot find Server."_s, noReply = u" No reply from Server."_s,
                      bad = u" Bad reply from Server."_s, notSet = u" Cannot set Clock."_s;
        const QString release = cInetTime::Release().date().toString(Qt::ISODate);
        const QString before =
            "the server's time, %1, is before this program's release (" + release + ')';
        const QString silent = u"no answer from time-a-wwv.nist.gov, time-a-b.nist.gov"_s;
        const QDate wrapDay(2036, 2, 7);
        QTest::newRow("behind, daylight time: one server asked") << Sync{};
        QTest::newRow("ahead") << Sync{.pc = At(13, 0, 30),
                                       .status = u" Time Adjusted by -30 Sec"_s};
        QTest::newRow("standard time west") << Sync{.zone = 1, .bias = 300, .pc = At(6, 59, 30)};
        QTest::newRow("zone unknown") << Sync{.zone = -1, .bias = 60, .pc = At(10, 59, 30)};
        QTest::newRow("top value") << Sync{
            .reply = {QByteArray(4, '\xff')}, .pc = At(7, 27, 45, wrapDay), .setTo = 2085978495};
        QTest::newRow("after the wrap in 2036") << Sync{.reply = {QByteArray("\0\0\x0e\x10", 4)},
                                                        .pc = At(8, 27, 46, wrapDay),
                                                        .setTo = 2085978496 + 3600};
        QTest::newRow("eight bytes") << Sync{.reply = {NoonWord + NoonWord}};
        QTest::newRow("two pieces") << Sync{.reply = {NoonWord.left(2), NoonWord.mid(2)}};
        QTest::newRow("zero: no time") << Fails({.reply = {QByteArray(4, 0)}, .status = bad});
        QTest::newRow("before the release: 2000")
            << Fails({.reply = {Word(946684800)},
                      .status = bad,
                      .reason = before.arg(u"2000-01-01T00:00:00Z"_s)});
        QTest::newRow("twelve years behind") << Fails(
            {.reply = {Word(Unix(Day.addYears(-12)))},
             .status = bad,
             .reason = before.arg(Day.addYears(-12).toString(Qt::ISODate) + "T12:00:00Z")});
        QTest::newRow("fifty years ahead, the others disagree") << Fails(
            {.reply = {Word(Unix(Day.addYears(50)))},
             .others = {NoonWord},
             .status = bad,
             .reason = u"time-a-g.nist.gov said %1T12:00:00Z but time-a-wwv.nist.gov said "
                       "%2T12:00:00Z; the clock was not set"_s.arg(
                           Day.addYears(50).toString(Qt::ISODate), Day.toString(Qt::ISODate)),
             .asked = 1});
        QTest::newRow("three days slow, confirmed")
            << Sync{.others = {NoonWord},
                    .pc = At(12, 59, 30, Day.addDays(-3)),
                    .status = u" Time Adjusted by 259230 Sec"_s,
                    .note = u"(confirmed by time-a-wwv.nist.gov)"_s,
                    .asked = 1};
        const QString unconfirmed = "a step of 3 days needs a second server to agree; " + silent;
        QTest::newRow("three days slow, no other answer")
            << Fails({.pc = At(12, 59, 30, Day.addDays(-3)),
                      .status = notSet,
                      .reason = "Offset 259230 Sec; the clock was not set: " + unconfirmed,
                      .asked = 2,
                      .takes = 10});
        QTest::newRow("a PC in 2001, one server answering")
            << Sync{.pc = At(12, 59, 30, QDate(2001, 6, 15)),
                    .status = u" Time Adjusted by %1 Sec"_s.arg(
                        QDate(2001, 6, 15).daysTo(Day) * 86400 + 30),
                    .note = "(not confirmed: " + silent + ')',
                    .asked = 2,
                    .takes = 10};
        QTest::newRow("clock refused, later")
            << Sync{.answerAfterMs = 300,
                    .refusal = u"refused"_s,
                    .status = notSet,
                    .reason = u"Offset 30 Sec; the clock was not set: refused"_s,
                    .red = true,
                    .takes = 0.3};
        QTest::newRow("no daylight rule: the wait runs out")
            << Sync{.zone = 0, .bias = -60, .takes = 5};
        QTest::newRow("unknown name")
            << Fails({.host = u"nowhere.invalid"_s, .status = notFound, .takes = 5});
        QTest::newRow("connection refused")
            << Fails({.host = u"::1"_s, .status = notFound, .takes = 5});
        QTest::newRow("silent") << Fails(
            {.reply = {}, .close = false, .status = noReply, .takes = 5});
        QTest::newRow("closed without a reply")
            << Fails({.reply = {}, .status = noReply, .takes = 5});
        QTest::newRow("first address silent") << Sync{.host = u"dual.test"_s, .takes = 0.25};
        QTest::newRow("first address refuses") << Sync{.host = u"refused.test"_s};
        QTest::newRow("pressed again: 4 s apart") << Sync{.again = u"time-a-g.nist.gov"_s};
        QTest::newRow("another server: at once") << Sync{.again = u"time.test"_s};
        QTest::newRow("countdown at 1: three more seconds") << Sync{.countdown = 1, .ticks = 3};
        QTest::newRow("countdown at 5: as it was") << Sync{.countdown = 5, .ticks = 5};
        QTest::newRow("countdown at 1, a failure: left as a notification")
            << Fails({.reply = {QByteArray(4, 0)}, .status = bad, .countdown = 1, .ticks = 3});
        QTest::newRow("silent, pressed 2 s before the end: the outcome, then three seconds")
            << Fails({.reply = {},
                      .close = false,
                      .status = noReply,
                      .takes = 5,
                      .countdown = 2,
                      .ticks = 3});
    }

    void synchronise()
    {
        SANDBOXED();
        QFETCH(Sync, s);
        frmMain& w = Open();
        server.pieces = s.reply;
        server.close = s.close;
        others.pieces = s.others;
        pc->zoneResult = s.zone;
        pc->zone.Bias = s.bias;
        pc->now = s.pc;
        pc->answerAfterMs = s.answerAfterMs;
        pc->answer = {s.refusal.isEmpty(), s.refusal};
        modMain::CurrentServer = s.host;
        if (s.countdown) {
            w.countdown->AutoCloseCount = s.countdown;
            w.Timer3->start();
        }
        QSignalSpy done(&w.synchronisation, &Synchronisation::Finished);
        const double start = pc->WaitClock();
        w.cmdSynchTime_Click();
        QVERIFY(done.wait(20000));
        const double secs = pc->WaitClock() - start;
        QVERIFY2(secs >= s.takes && secs <= qMax(2.5, 1.5 * s.takes),
                 qPrintable(QString::number(secs)));
        QString line = s.host + ':' + s.status;
        for (const QString& more : {s.reason, s.note})
            if (!more.isEmpty())
                line += ' ' + more;
        QCOMPARE(Loose(pc->lines.value(0), line), line);
        QCOMPARE(Loose(w.lblStatus->toolTip(), s.reason), s.reason);
        QCOMPARE(TextColour(w.lblStatus), QColor(s.red ? Qt::red : Qt::black));
        QVERIFY(w.cmdSynchTime->isEnabled() && w.Timer1->isActive());
        Expect(s.setTo);
        QCOMPARE(others.seen.size(), s.asked);
        // The outcome stays on screen at least three of the countdown's
        // seconds, and a failure nobody saw is left with the desktop.
        int ticks = 0;
        for (; s.countdown && !pc->ended && ticks < 10; ++ticks)
            w.Timer3_Timer();
        QCOMPARE(ticks, s.ticks);
        QCOMPARE(pc->notes, s.countdown && s.red
                                ? QStringList(u"Quorvane: "_s + s.status.trimmed() + '\n' + s.host)
                                : QStringList());
        QCOMPARE(pc->lines.size(), 1);
        if (s.again.isEmpty())
            return;
        pc->stepped += 1;
        modMain::CurrentServer = s.again;
        w.cmdSynchTime_Click();
        QVERIFY(done.wait(10000));
        QCOMPARE(Loose(pc->lines.value(1), line), s.again + ':' + s.status);
        // Public servers ask for 4 s between queries; room for the first connection seen late.
        const double apart = server.seen.value(1) - server.seen.value(0);
        QVERIFY2(s.again == s.host ? apart >= 4 - 0.05 : apart < 1.5,
                 qPrintable(QString::number(apart)));
    }

    void startUp_data()
    {
        QTest::addColumn<Startup>("s");
        const QString notFound = u" Cannot find Server."_s;
        QTest::newRow("button: at once") << Startup{
            .button = true, .waits = false, .status = notFound, .set = false, .takes = 5};
        QTest::newRow("no such name: at once") << Startup{
            .nss = u"files"_s, .waits = false, .status = notFound, .set = false, .takes = 5};
        QTest::newRow("gives up") << Startup{
            .status = notFound + " no network connection came up within 1.5 seconds",
            .set = false,
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
        frmMain& w = Open({}, nullptr, s.manager ? &manager : nullptr);
        w.countdown->AutoCloseCount = 1; // runs out during the wait
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
        QSignalSpy done(&w.synchronisation, &Synchronisation::Finished);
        const double began = pc->WaitClock();
        if (s.button)
            w.cmdSynchTime_Click();
        else if (s.manager)
            w.Synchronise(s.limit);
        else // as the first showing runs it, over the fake PC's monitor
            w.Form_Activate();
        QVERIFY(done.wait(15000));
        const double at = pc->WaitClock();
        const double late = s.upCommand.isEmpty()
                                ? at - began - s.takes
                                : at - upAt - (s.manager ? 0 : NetworkWait::RetryMs / 1000.0);
        QVERIFY2(at - before >= s.takes && late <= 1,
                 qPrintable(u"done after %1 s, %2 s late"_s.arg(at - before).arg(late)));
        QVERIFY2(pc->lines.size() == 1 &&
                     Loose(pc->lines[0], s.status).startsWith(s.host + ':' + s.status) &&
                     pc->lines[0].contains(u"waiting"_s) == s.waits,
                 qPrintable(pc->lines.join('\n')));
        QCOMPARE(pc->asked.size(), s.set ? 1 : 0);
        // A countdown that ran out during any wait leaves the outcome readable.
        QVERIFY(!pc->ended);
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
        modMain::CurrentServer = u"time-a-g.nist.gov"_s;
        w.countdown->AutoCloseCount = 1;
        QString asking, later; // the time shown as the clock is asked to be set, and 1.5 s on
        connect(&w.synchronisation, &Synchronisation::SettingClock, &w,
                [&] { asking = w.Label1->text(); });
        bool ended = false;
        const double armed = pc->WaitClock();
        double probed = 0;
        QTimer::singleShot(1500, &w, [&] {
            probed = pc->WaitClock();
            later = w.Label1->text();
            if (action == u"click")
                QTest::mouseClick(w.Label1, Qt::LeftButton);
            if (action == u"close")
                w.close();
            ended = pc->ended;
        });
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(!pc->lines.isEmpty() || pc->ended, 7000);
        QVERIFY2(probed - armed < 2.5, "the window took no events while the clock was set");
        QVERIFY2(!asking.isEmpty() && later != asking, qPrintable(asking + " / " + later));
        // Closing ends at once, with nothing told; a click stops the countdown,
        // else the outcome stays readable for three more seconds.
        QCOMPARE(ended, action == u"close");
        QCOMPARE(pc->lines.isEmpty(), action == u"close");
        if (action == u"close")
            return;
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
        modMain::CurrentServer = u"time-a-g.nist.gov"_s;
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
            return ColourRules::Contrast(TextColour(label), dark.color(behind)) >= 4.5;
        };
        QVERIFY(readable(w.lblStatus, QPalette::Window) && readable(w.lblPcTime, QPalette::Base));
        // Anti-aliased glyphs never quite reach their colour: the reddest
        // pixels drawn must still read at 4.5:1.
        const QImage drawn = w.grab(w.lblStatus->geometry()).toImage();
        double reddest = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                if (const QColor pixel = drawn.pixelColor(x, y); pixel.red() > pixel.green())
                    reddest =
                        qMax(reddest, ColourRules::Contrast(pixel, dark.color(QPalette::Window)));
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
        QTRY_COMPARE(Loose(w.lblStatus->text(), u" 30 Sec"_s), u" Time Adjusted by 30 Sec"_s);
        QVERIFY(readable(w.lblStatus, QPalette::Window));
        QApplication::setPalette(light);
        QTRY_COMPARE(TextColour(w.lblStatus), QColor(Qt::black));
        // WCAG's figure for the lightest grey that passes on white.
        QCOMPARE(qRound(ColourRules::Contrast(QColor(0x76, 0x76, 0x76), Qt::white) * 100), 454);
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
        QVERIFY(!w.synchronisation.UnderWay());
        QCOMPARE(pc->lines.size(), 2);
    }
};

QTEST_MAIN(tst_Quorvane)
#include "tst_Quorvane.moc"
