#pragma once

#include <QDate>
#include <QString>
#include <QTime>

// Date values count days since 30 December 1899 00:00:00, the fraction being
// the time of day. They carry wall-clock time without a zone: every day has
// 86400 seconds.
class DateValue
{
public:
    static double FromDateTime(const QDate& date, const QTime& time);

    // Whole seconds since 30 December 1899, to the nearest second.
    static qint64 ToSeconds(double date);
    static QDate DatePart(double date);
    static QTime TimePart(double date);

    // Patterns are made of "dddd" (weekday), "dd" (day), "mmm" (month name),
    // "mm" (month, or minutes after "hh"), "yyyy", "yy", "hh" (00 to 23),
    // "ss"; ":" is the user's time separator and anything else is literal.
    // Names are in the user's language; the value is shown to the nearest
    // whole second.
    static QString Format(double date, const QString& pattern);

    static qint64 SecondsBetween(double from, double to);
};
