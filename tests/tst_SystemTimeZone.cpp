#include "platform/SystemTimeZone.h"

#include <QDateTime>
#include <QTimeZone>
#include <QtTest>

class tst_SystemTimeZone : public QObject
{
    Q_OBJECT

private slots:
    void query_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<qint32>("result");
        QTest::addColumn<qint32>("bias");
        QTest::addColumn<qint32>("daylightBias");

        const QDateTime winter(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC);
        const QDateTime summer(QDate(2026, 7, 15), QTime(12, 0), Qt::UTC);
        QTest::newRow("UTC") << QByteArray("UTC") << summer << 0 << 0 << 0;
        QTest::newRow("London in summer") << QByteArray("Europe/London") << summer << 2 << 0 << -60;
        QTest::newRow("London in winter") << QByteArray("Europe/London") << winter << 1 << 0 << -60;
        QTest::newRow("New York in winter")
            << QByteArray("America/New_York") << winter << 1 << 300 << -60;
        QTest::newRow("New York in summer")
            << QByteArray("America/New_York") << summer << 2 << 300 << -60;
        QTest::newRow("Sydney in January")
            << QByteArray("Australia/Sydney") << winter << 2 << -600 << -60;
        QTest::newRow("Sydney in July")
            << QByteArray("Australia/Sydney") << summer << 1 << -600 << -60;
        // Kept daylight time only in the past: no rule now.
        QTest::newRow("Tokyo") << QByteArray("Asia/Tokyo") << summer << 0 << -540 << 0;
        QTest::newRow("Kolkata half hour")
            << QByteArray("Asia/Kolkata") << summer << 0 << -330 << 0;
        QTest::newRow("Lord Howe half-hour daylight")
            << QByteArray("Australia/Lord_Howe") << winter << 2 << -630 << -30;
    }

    void query()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, at);
        QFETCH(qint32, result);
        QFETCH(qint32, bias);
        QFETCH(qint32, daylightBias);

        TimeZoneInformation info;
        QCOMPARE(SystemTimeZone::Query(QTimeZone(zone), at, info), result);
        QCOMPARE(info.Bias, bias);
        QCOMPARE(info.DaylightBias, daylightBias);
    }

    void followsTheTzVariable()
    {
        qputenv("TZ", "America/New_York");
        TimeZoneInformation info;
        const qint32 result = SystemTimeZone().GetTimeZoneInformation(info);
        QVERIFY(result == 1 || result == 2);
        QCOMPARE(info.Bias, 300);
        qputenv("TZ", "Asia/Tokyo");
        QCOMPARE(SystemTimeZone().GetTimeZoneInformation(info), 0);
        QCOMPARE(info.Bias, -540);
    }
};

QTEST_GUILESS_MAIN(tst_SystemTimeZone)
#include "tst_SystemTimeZone.moc"
