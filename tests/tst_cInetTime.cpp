// The time query against a server inside the test, on port 37 of this
// network namespace. Run through tests/sandbox/sandbox.
#include "doubles/FakeClock.h"
#include "doubles/FakeTimeServer.h"
#include "doubles/FakeTimeZone.h"
#include "doubles/RecordingClockSetter.h"
#include "platform/DateValue.h"
#include "time/cInetTime.h"

#include <QElapsedTimer>
#include <QtTest>

namespace
{
QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(text);
}

double At(int y, int mo, int d, int h, int mi, int s)
{
    return DateValue::FromDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

// 15 June 2005 12:00:00 UTC, on the wire and as Unix time.
const char* const June2005 = "C65A96C0";
constexpr qint64 June2005Unix = 1118836800;
} // namespace

class tst_cInetTime : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(server.listening, "port 37 must be free in the sandbox"); }

    void init()
    {
        server.pieces.clear();
        server.gapMs = 0;
        server.end = FakeTimeServer::End::Close;
        setter = RecordingClockSetter();
    }

    void beforeAnyQuery()
    {
        cInetTime query(clock, zone, setter);
        QCOMPARE(query.ErrorCheck(), qint16(0));
        QCOMPARE(query.AdjustedSecs(), 0);
        QCOMPARE(query.ReturnedDate(), 0.0);
    }

    void reply_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<qint32>("code");
        QTest::addColumn<qint32>("bias");
        QTest::addColumn<qint32>("daylightBias");
        QTest::addColumn<double>("pc");
        QTest::addColumn<bool>("bad");
        QTest::addColumn<qint32>("adjusted");
        QTest::addColumn<double>("returned");
        QTest::addColumn<QList<qint64>>("set");

        const double one = At(2005, 6, 15, 13, 0, 0);
        const QList<QByteArray> worked{Hex(June2005)};
        QTest::newRow("worked example: PC 30 s behind")
            << worked << 2 << 0 << -60 << At(2005, 6, 15, 12, 59, 30) << false << 30 << one
            << QList<qint64>{June2005Unix};
        QTest::newRow("PC 30 s ahead") << worked << 2 << 0 << -60 << At(2005, 6, 15, 13, 0, 30)
                                       << false << -30 << one << QList<qint64>{June2005Unix};
        QTest::newRow("PC right: clock left alone")
            << worked << 2 << 0 << -60 << one << false << 0 << one << QList<qint64>{};
        QTest::newRow("standard time, bias 300, StandardBias ignored")
            << worked << 1 << 300 << -60 << At(2005, 6, 15, 6, 59, 58) << false << 2
            << At(2005, 6, 15, 7, 0, 0) << QList<qint64>{June2005Unix};
        QTest::newRow("daylight time east of UTC")
            << worked << 2 << -60 << -60 << At(2005, 6, 15, 14, 0, 0) << false << 0
            << At(2005, 6, 15, 14, 0, 0) << QList<qint64>{};
        QTest::newRow("failed zone query counts as standard time")
            << worked << -1 << 0 << -60 << At(2005, 6, 15, 11, 0, 0) << false << 3600
            << At(2005, 6, 15, 12, 0, 0) << QList<qint64>{June2005Unix};
        QTest::newRow("FF FF FF FF is 7 Feb 2036 06:28:15 UTC")
            << QList<QByteArray>{Hex("FFFFFFFF")} << 1 << 0 << -60 << At(2036, 2, 7, 6, 28, 10)
            << false << 5 << At(2036, 2, 7, 6, 28, 15)
            << QList<qint64>{4294967295LL - 2208988800LL};
        QTest::newRow("00 00 00 00 is no time")
            << QList<QByteArray>{Hex("00000000")} << 1 << 0 << -60 << one << true << 0 << 0.0
            << QList<qint64>{};
        QTest::newRow("bias that overflows")
            << worked << 1 << 40000000 << 0 << one << true << 0 << 0.0 << QList<qint64>{};
        QTest::newRow("eight bytes at once: only four read")
            << QList<QByteArray>{Hex("C65A96C001020304")} << 2 << 0 << -60
            << At(2005, 6, 15, 12, 59, 30) << false << 30 << one << QList<qint64>{June2005Unix};
        QTest::newRow("four bytes in two pieces")
            << QList<QByteArray>{Hex("C65A"), Hex("96C0")} << 2 << 0 << -60
            << At(2005, 6, 15, 12, 59, 30) << false << 30 << one << QList<qint64>{June2005Unix};
    }

    void reply()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(qint32, code);
        QFETCH(qint32, bias);
        QFETCH(qint32, daylightBias);
        QFETCH(double, pc);
        QFETCH(bool, bad);
        QFETCH(qint32, adjusted);
        QFETCH(double, returned);
        QFETCH(QList<qint64>, set);

        server.pieces = pieces;
        server.gapMs = 150;
        zone.result = code;
        zone.info = {bias, 45, daylightBias};
        clock.Set(pc);

        cInetTime query(clock, zone, setter);
        query.setTimeServer(QStringLiteral("127.0.0.1"));
        QElapsedTimer elapsed;
        elapsed.start();
        query.SetTime();

        // Every code but 0 ends the wait as soon as the reply is handled.
        QVERIFY2(elapsed.elapsed() < 2000, qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(query.ErrorCheck(), qint16(0));
        QCOMPARE(query.BadReply(), bad);
        QCOMPARE(query.Replied(), !bad);
        QCOMPARE(query.AdjustedSecs(), adjusted);
        QCOMPARE(DateValue::ToSeconds(query.ReturnedDate()), DateValue::ToSeconds(returned));
        QCOMPARE(setter.requests, set);
    }

    void returnedDateIsShownAsTheExactSecond()
    {
        server.pieces = {Hex(June2005)};
        zone.result = 2;
        zone.info = {0, 0, -60};
        clock.Set(At(2005, 6, 15, 12, 59, 30));
        cInetTime query(clock, zone, setter);
        query.setTimeServer(QStringLiteral("127.0.0.1"));
        query.SetTime();
        QCOMPARE(DateValue::Format(query.ReturnedDate(), QStringLiteral("dd/mm/yy")),
                 QStringLiteral("15/06/05"));
        QCOMPARE(DateValue::Format(query.ReturnedDate(), QStringLiteral("hh:mm:ss ")),
                 QStringLiteral("13:00:00 "));
    }

    void waitRunsToDeadline_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<bool>("stayOpen");
        QTest::addColumn<qint32>("code");
        QTest::addColumn<qint16>("errorCheck");
        QTest::addColumn<bool>("replied");

        const QString local = QStringLiteral("127.0.0.1");
        QTest::newRow("silent server")
            << local << QList<QByteArray>{} << true << 1 << qint16(0) << false;
        QTest::newRow("closes without sending")
            << local << QList<QByteArray>{} << false << 1 << qint16(0) << false;
        QTest::newRow("three bytes, then closes")
            << local << QList<QByteArray>{Hex("C65A96")} << false << 1 << qint16(0) << false;
        QTest::newRow("three bytes, then silent")
            << local << QList<QByteArray>{Hex("C65A96")} << true << 1 << qint16(0) << false;
        QTest::newRow("reply in a zone without daylight rule")
            << local << QList<QByteArray>{Hex(June2005)} << false << 0 << qint16(0) << true;
        QTest::newRow("connection refused") << QStringLiteral("127.0.0.2") << QList<QByteArray>{}
                                            << false << 1 << qint16(-1) << false;
        QTest::newRow("unresolvable name")
            << QStringLiteral("no-such-host.invalid") << QList<QByteArray>{} << false << 1
            << qint16(-1) << false;
        QTest::newRow("empty name")
            << QString() << QList<QByteArray>{} << false << 1 << qint16(-1) << false;
    }

    void waitRunsToDeadline()
    {
        QFETCH(QString, host);
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(bool, stayOpen);
        QFETCH(qint32, code);
        QFETCH(qint16, errorCheck);
        QFETCH(bool, replied);

        server.pieces = pieces;
        server.end = stayOpen ? FakeTimeServer::End::StayOpen : FakeTimeServer::End::Close;
        zone.result = code;
        zone.info = {0, 0, 0};

        cInetTime query(clock, zone, setter);
        query.setTimeServer(host);
        QElapsedTimer elapsed;
        elapsed.start();
        query.SetTime();
        const qint64 ms = elapsed.elapsed();

        QVERIFY2(ms >= 4990 && ms < 5600, qPrintable(QString::number(ms)));
        QCOMPARE(query.ErrorCheck(), errorCheck);
        QCOMPARE(query.Replied(), replied);
        if (!replied) {
            QCOMPARE(query.AdjustedSecs(), 0);
            QCOMPARE(query.ReturnedDate(), 0.0);
            QVERIFY(setter.requests.isEmpty());
        }
    }

    void wallClockJumpDoesNotStretchTheWait()
    {
        // The zone has no daylight rule, so the wait runs on after the reply
        // has moved the PC's clock back by an hour.
        server.pieces = {Hex(June2005)};
        zone.result = 0;
        zone.info = {0, 0, 0};
        clock.Set(At(2005, 6, 15, 13, 0, 0));
        setter.onSet = [this](qint64) { clock.AddSeconds(-3600); };

        cInetTime query(clock, zone, setter);
        query.setTimeServer(QStringLiteral("127.0.0.1"));
        QElapsedTimer elapsed;
        elapsed.start();
        query.SetTime();
        const qint64 ms = elapsed.elapsed();

        QCOMPARE(setter.requests.size(), 1);
        QVERIFY2(ms >= 4990 && ms < 5600, qPrintable(QString::number(ms)));
    }

    void lastServerNameCounts()
    {
        server.pieces = {Hex(June2005)};
        zone.result = 1;
        cInetTime query(clock, zone, setter);
        query.setTimeServer(QStringLiteral("no-such-host.invalid"));
        query.setTimeServer(QStringLiteral("127.0.0.1"));
        query.SetTime();
        QVERIFY(query.Replied());
    }

    void twoQueriesHaveTheirOwnSockets()
    {
        server.pieces = {Hex(June2005)};
        zone.result = 1;
        auto first = std::make_unique<cInetTime>(clock, zone, setter);
        cInetTime second(clock, zone, setter);
        first.reset();
        second.setTimeServer(QStringLiteral("127.0.0.1"));
        second.SetTime();
        QVERIFY(second.Replied());
    }

private:
    FakeTimeServer server;
    FakeClock clock;
    FakeTimeZone zone;
    RecordingClockSetter setter;
};

QTEST_GUILESS_MAIN(tst_cInetTime)
#include "tst_cInetTime.moc"
