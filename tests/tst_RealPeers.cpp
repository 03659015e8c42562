// The time query with the real clock and zone against a real Time Protocol
// server, openbsd-inetd's built-in one, checked against a second client of
// that server, rdate. Runs in tests/sandbox/sandbox --inetd, where
// time-a-g.nist.gov is 127.0.0.1; only the clock setter is a double.
#include "doubles/InUserNamespace.h"
#include "doubles/RecordingClockSetter.h"
#include "platform/DateValue.h"
#include "platform/SystemClock.h"
#include "platform/SystemTimeZone.h"
#include "time/cInetTime.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QHostInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimeZone>
#include <QtTest>

namespace
{
const QString Server = QStringLiteral("time-a-g.nist.gov");

// rdate -p prints the server's time the way ctime does, in the zone TZ names:
// "Sun Dec  6 21:33:21 UTC 2026". The zone abbreviation is not parsed.
QDateTime ParseRdate(const QByteArray& output)
{
    static const QRegularExpression line(QStringLiteral(
        R"(^[A-Z][a-z]{2} ([A-Z][a-z]{2}) +(\d{1,2}) (\d\d):(\d\d):(\d\d) \S+ (\d{4})$)"));
    const QRegularExpressionMatch m = line.match(QString::fromUtf8(output).trimmed());
    if (!m.hasMatch())
        return {};
    const int month =
        QStringList{QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"),
                    QStringLiteral("Apr"), QStringLiteral("May"), QStringLiteral("Jun"),
                    QStringLiteral("Jul"), QStringLiteral("Aug"), QStringLiteral("Sep"),
                    QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")}
            .indexOf(m.captured(1)) +
        1;
    return QDateTime(QDate(m.captured(6).toInt(), month, m.captured(2).toInt()),
                     QTime(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(5).toInt()),
                     Qt::UTC);
}

// Starts rdate -p against the server with the given TZ.
void StartRdate(QProcess& process, const QString& program, const QString& tz)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), tz);
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(env);
    process.start(program, {QStringLiteral("-p"), Server});
}
} // namespace

class tst_RealPeers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Outside the sandbox the name is the real NIST server.
        QVERIFY2(qgetenv("QUORVANE_SANDBOX") == "1" && InUserNamespace(),
                 "run inside tests/sandbox/sandbox --inetd");
        const QHostInfo host = QHostInfo::fromName(Server);
        QVERIFY2(!host.addresses().isEmpty(), qPrintable(host.errorString()));
        for (const QHostAddress& address : host.addresses())
            QVERIFY2(address.isLoopback(), qPrintable(address.toString()));

        rdate = QStandardPaths::findExecutable(QStringLiteral("rdate"));
        if (rdate.isEmpty())
            rdate = QStandardPaths::findExecutable(QStringLiteral("rdate"),
                                                   {QStringLiteral("/usr/sbin")});
        QVERIFY2(!rdate.isEmpty(), "rdate is not installed");
    }

    void cleanupTestCase() { qputenv("TZ", "UTC"); }

    void agreesWithRdate_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<bool>("daylightRule");

        QTest::newRow("UTC") << QByteArray("UTC") << false;
        QTest::newRow("Europe/London") << QByteArray("Europe/London") << true;
        QTest::newRow("America/New_York") << QByteArray("America/New_York") << true;
        QTest::newRow("Asia/Kolkata") << QByteArray("Asia/Kolkata") << false;
        // In daylight time when the northern zones above are not.
        QTest::newRow("Australia/Sydney") << QByteArray("Australia/Sydney") << true;
    }

    void agreesWithRdate()
    {
        QFETCH(QByteArray, zone);
        QFETCH(bool, daylightRule);

        qputenv("TZ", zone);
        const QTimeZone tz(zone);
        QVERIFY(tz.isValid());

        // The program's zone follows TZ.
        QCOMPARE(QTimeZone::systemTimeZoneId(), zone);
        const QDateTime nowUtc = QDateTime::currentDateTimeUtc();
        TimeZoneInformation info;
        const qint32 code = SystemTimeZone().GetTimeZoneInformation(info);
        const qint32 expected = !daylightRule               ? TimeZone::NoDaylightRule
                                : tz.isDaylightTime(nowUtc) ? TimeZone::DaylightTime
                                                            : TimeZone::StandardTime;
        QCOMPARE(code, expected);
        QCOMPARE(info.Bias, -tz.standardTimeOffset(nowUtc) / 60);

        // rdate asks at the same moment: one client prints UTC, one the zone's
        // wall-clock time.
        QProcess rdateUtc;
        QProcess rdateLocal;
        StartRdate(rdateUtc, rdate, QStringLiteral("UTC"));
        StartRdate(rdateLocal, rdate, QString::fromLatin1(zone));

        SystemClock clock;
        SystemTimeZone systemZone;
        RecordingClockSetter setter;
        cInetTime query(clock, systemZone, setter);
        query.setTimeServer(Server);
        QElapsedTimer elapsed;
        elapsed.start();
        query.SetTime();
        const qint64 waitedMs = elapsed.elapsed();

        for (QProcess* p : {&rdateUtc, &rdateLocal}) {
            // It may well have finished while the query waited.
            QVERIFY2(p->state() == QProcess::NotRunning || p->waitForFinished(10000),
                     qPrintable(p->errorString()));
            QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0,
                     p->readAllStandardError().constData());
        }
        const QByteArray utcText = rdateUtc.readAllStandardOutput();
        const QByteArray localText = rdateLocal.readAllStandardOutput();
        const QDateTime peerUtc = ParseRdate(utcText);
        const QDateTime peerLocal = ParseRdate(localText);
        QVERIFY2(peerUtc.isValid(), utcText.constData());
        QVERIFY2(peerLocal.isValid(), localText.constData());

        QVERIFY(query.Replied());
        QVERIFY(!query.BadReply());
        QCOMPARE(query.ErrorCheck(), qint16(0));

        // ReturnedDate is the zone's wall-clock time.
        const double returned = query.ReturnedDate();
        const QDateTime ours(DateValue::DatePart(returned), DateValue::TimePart(returned), tz);
        QVERIFY2(qAbs(ours.secsTo(peerUtc)) <= 1,
                 qPrintable(ours.toUTC().toString(Qt::ISODate) + QStringLiteral(" vs ") +
                            utcText.trimmed()));
        const qint64 wallSecs =
            DateValue::ToSeconds(DateValue::FromDateTime(peerLocal.date(), peerLocal.time()));
        QVERIFY2(qAbs(DateValue::ToSeconds(returned) - wallSecs) <= 1,
                 qPrintable(DateValue::Format(returned, QStringLiteral("yyyy-mm-dd hh:mm:ss")) +
                            QStringLiteral(" vs ") + localText.trimmed()));

        // The PC's clock is the server's: nothing, or a second boundary, to fix.
        const qint32 adjusted = query.AdjustedSecs();
        QVERIFY2(adjusted >= -1 && adjusted <= 1, qPrintable(QString::number(adjusted)));
        if (adjusted == 0)
            QVERIFY(setter.requests.isEmpty());
        else
            QCOMPARE(setter.requests, QList<qint64>{ours.toSecsSinceEpoch()});

        // A zone with a daylight rule ends the wait at the reply; without one
        // the wait runs to its 5 s deadline.
        if (daylightRule)
            QVERIFY2(waitedMs < 2000, qPrintable(QString::number(waitedMs)));
        else
            QVERIFY2(waitedMs >= 4500 && waitedMs < 7000, qPrintable(QString::number(waitedMs)));
    }

private:
    QString rdate;
};

QTEST_GUILESS_MAIN(tst_RealPeers)
#include "tst_RealPeers.moc"
