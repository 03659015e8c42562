#include "time/DateValue.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>
#include <cmath>

namespace
{
const QDate DayZero(1899, 12, 30);
constexpr qint64 SecondsPerDay = 86400;

// The separator that the user's own time format puts right after the hours.
// A blank, a letter or a quoted literal there ("HH 'h' mm" in French Canada)
// is no separator: ":" then.
QString TimeSeparator()
{
    const QString format = QLocale().timeFormat(QLocale::ShortFormat);
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format.at(i) == QLatin1Char('\'')) {
            i = format.indexOf(QLatin1Char('\''), i + 1);
            if (i < 0)
                break;
        } else if (format.at(i).toLower() == QLatin1Char('h')) {
            while (i + 1 < format.size() && format.at(i + 1).toLower() == QLatin1Char('h'))
                ++i;
            const QChar next = i + 1 < format.size() ? format.at(i + 1) : QChar();
            if ((next.isPunct() || next.isSymbol()) && next != QLatin1Char('\''))
                return QString(next);
            break;
        }
    }
    return QStringLiteral(":");
}

// Turns one run of a pattern letter into Qt's notation.
QString QtToken(QChar letter, qsizetype count, bool minutes)
{
    switch (letter.unicode()) {
    case 'd':
        return QString(qMin<qsizetype>(count, 4), QLatin1Char('d'));
    case 'm':
        if (minutes)
            return QStringLiteral("mm");
        return QString(qMin<qsizetype>(count, 4), QLatin1Char('M'));
    case 'y':
        return count <= 2 ? QStringLiteral("yy") : QStringLiteral("yyyy");
    case 'h':
        return QStringLiteral("HH");
    case 's':
        return QStringLiteral("ss");
    default:
        return {};
    }
}
} // namespace

double DateValue::FromDateTime(const QDate& date, const QTime& time)
{
    return DayZero.daysTo(date) + time.msecsSinceStartOfDay() / (SecondsPerDay * 1000.0);
}

qint64 DateValue::ToSeconds(double date)
{
    // Before day zero the whole part counts days back and the fraction still
    // runs forward from midnight.
    const double days = std::trunc(date);
    const double fraction = std::fabs(date - days);
    return static_cast<qint64>(days) * SecondsPerDay + std::llround(fraction * SecondsPerDay);
}

QDate DateValue::DatePart(double date)
{
    const qint64 secs = ToSeconds(date);
    return DayZero.addDays(secs >= 0 ? secs / SecondsPerDay
                                     : -((-secs + SecondsPerDay - 1) / SecondsPerDay));
}

QTime DateValue::TimePart(double date)
{
    const qint64 secs = ToSeconds(date);
    const qint64 ofDay = ((secs % SecondsPerDay) + SecondsPerDay) % SecondsPerDay;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ofDay * 1000));
}

QString DateValue::Format(double date, const QString& pattern)
{
    QString qtPattern;
    bool afterHours = false;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern.at(i);
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern.at(i + run) == c)
            ++run;
        const QString token = QtToken(c, run, c == QLatin1Char('m') && afterHours);
        if (!token.isEmpty()) {
            qtPattern += token;
            afterHours = c == QLatin1Char('h');
        } else if (c == QLatin1Char(':')) {
            qtPattern += QLatin1Char('\'') + TimeSeparator() + QLatin1Char('\'');
        } else {
            qtPattern += QLatin1Char('\'') + QString(run, c) + QLatin1Char('\'');
        }
        i += run;
    }
    // UTC carries plain wall-clock fields without zone gaps.
    const QDateTime fields(DatePart(date), TimePart(date), QTimeZone::utc());
    return QLocale().toString(fields, qtPattern);
}

qint64 DateValue::SecondsBetween(double from, double to)
{
    return ToSeconds(to) - ToSeconds(from);
}
