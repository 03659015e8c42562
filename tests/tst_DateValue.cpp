#include "platform/DateValue.h"

#include <QtTest>

class tst_DateValue : public QObject
{
    Q_OBJECT

private slots:
    void dayZero()
    {
        QCOMPARE(DateValue::FromText(QStringLiteral("01 Jan 1900 00:00:00")), 2.0);
        QCOMPARE(DateValue::FromDateTime(QDate(1899, 12, 30), QTime(0, 0)), 0.0);
        QCOMPARE(DateValue::FromDateTime(QDate(2005, 6, 15), QTime(13, 0)), 38518 + 13 / 24.0);
    }

    void format_data()
    {
        QTest::addColumn<double>("date");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");

        // 38518.5416... is stored a hair below 13:00:00.
        const double oneOClock = (3327829200.0 + 172800) / 86400;
        QTest::newRow("long date") << oneOClock << "dddd dd mmm yyyy"
                                   << "Wednesday 15 Jun 2005";
        QTest::newRow("time") << oneOClock << "hh:mm:ss"
                              << "13:00:00";
        QTest::newRow("short date") << oneOClock << "dd/mm/yy"
                                    << "15/06/05";
        QTest::newRow("time with blank") << oneOClock << "hh:mm:ss "
                                         << "13:00:00 ";
        QTest::newRow("half second rounds up")
            << DateValue::FromDateTime(QDate(2005, 6, 15), QTime(23, 59, 59, 500)) << "hh:mm:ss"
            << "00:00:00";
        QTest::newRow("and carries into the date")
            << DateValue::FromDateTime(QDate(2005, 6, 15), QTime(23, 59, 59, 500)) << "dd/mm/yy"
            << "16/06/05";
        QTest::newRow("day zero") << 0.0 << "dddd dd mmm yyyy"
                                  << "Saturday 30 Dec 1899";
    }

    void format()
    {
        QFETCH(double, date);
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QCOMPARE(DateValue::Format(date, pattern), text);
    }

    void secondsBetween_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<qint64>("seconds");

        const double base = DateValue::FromText(QStringLiteral("01 Jan 1900 00:00:00"));
        QTest::newRow("worked example PC time")
            << base << DateValue::FromDateTime(QDate(2005, 6, 15), QTime(12, 59, 30))
            << qint64(3327829170);
        QTest::newRow("backwards")
            << DateValue::FromDateTime(QDate(2005, 6, 15), QTime(12, 0))
            << DateValue::FromDateTime(QDate(2005, 6, 15), QTime(11, 0)) << qint64(-3600);
        // Calendar seconds: a daylight-saving night still has 24 hours.
        QTest::newRow("across a daylight-saving change")
            << DateValue::FromDateTime(QDate(2005, 3, 27), QTime(0, 0))
            << DateValue::FromDateTime(QDate(2005, 3, 28), QTime(0, 0)) << qint64(86400);
    }

    void secondsBetween()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(qint64, seconds);
        QCOMPARE(DateValue::SecondsBetween(from, to), seconds);
    }

    // Registered a second time with a German environment.
    void namesInTheUsersLanguage()
    {
        if (QLocale::system().language() != QLocale::German)
            QSKIP("runs with LC_ALL=de_DE.UTF-8");
        const double date = DateValue::FromDateTime(QDate(2005, 3, 2), QTime(7, 8, 9));
        QCOMPARE(DateValue::Format(date, QStringLiteral("dddd dd mmm yyyy")),
                 QStringLiteral("Mittwoch 02 März 2005"));
        QCOMPARE(DateValue::Format(date, QStringLiteral("hh:mm:ss")), QStringLiteral("07:08:09"));
    }
};

QTEST_GUILESS_MAIN(tst_DateValue)
#include "tst_DateValue.moc"
