#include "time/Outcome.h"

#include "time/cInetTime.h"

QString Outcome::Said() const
{
    return reason.isEmpty() ? text.trimmed() : text.trimmed() + QLatin1Char(' ') + reason;
}

QString Outcome::JournalLine() const
{
    QString line = Server() + QLatin1Char(':') + text;
    for (const QString& more : {reason, note})
        if (!more.isEmpty())
            line += QLatin1Char(' ') + more;
    return line;
}

QString Outcome::NotificationBody() const
{
    return text.trimmed() + QLatin1Char('\n') + Server() +
           (reason.isEmpty() ? QString() : QLatin1Char('\n') + reason);
}

Outcome Outcome::NotFound(const QString& reason)
{
    return {QStringLiteral(" Cannot find Server."), Red, reason};
}

Outcome Outcome::NoReply()
{
    return {QStringLiteral(" No reply from Server."), Red};
}

Outcome Outcome::BadReply(const QString& reason)
{
    return {QStringLiteral(" Bad reply from Server."), Red, reason};
}

Outcome Outcome::Adjusted(qint32 secs)
{
    return {QStringLiteral(" Time Adjusted by ") + QString::number(secs) + QStringLiteral(" Sec")};
}

Outcome Outcome::NotSet(qint32 secs, const QString& why)
{
    return {QStringLiteral(" Cannot set Clock."), Red,
            QStringLiteral("Offset %1 Sec; the clock was not set: %2").arg(secs).arg(why)};
}

Outcome Outcome::Of(const cInetTime& query)
{
    if (query.ErrorCheck() != 0)
        return NotFound();
    if (query.BadReply() && query.ServerTime() < cInetTime::Release())
        return BadReply(
            QStringLiteral("the server's time, %1, is before this program's release (%2)")
                .arg(Utc(query.ServerTime()), cInetTime::Release().date().toString(Qt::ISODate)));
    if (query.BadReply())
        return BadReply();
    if (!query.Replied())
        return NoReply();
    return Adjusted(query.AdjustedSecs());
}

QString Outcome::Disagreement(const cInetTime& one, const cInetTime& other)
{
    return QStringLiteral("%1 said %2 but %3 said %4; the clock was not set")
        .arg(one.Server(), Utc(one.ServerTime()), other.Server(), Utc(other.ServerTime()));
}

QString Outcome::Unconfirmed(qint32 secs, const QStringList& silent)
{
    // In the largest unit that says it in whole numbers.
    const qint64 size = qAbs(qint64(secs));
    const auto in = [size](qint64 unit, const char* name) {
        const qint64 count = size / unit;
        return QStringLiteral("%1 %2%3")
            .arg(count)
            .arg(QLatin1String(name))
            .arg(count == 1 ? QString() : QStringLiteral("s"));
    };
    const QString step = size >= 86400  ? in(86400, "day")
                         : size >= 3600 ? in(3600, "hour")
                                        : in(60, "minute");
    return QStringLiteral("a step of %1 needs a second server to agree; %2")
        .arg(step, Silent(silent));
}

QString Outcome::Silent(const QStringList& servers)
{
    return QStringLiteral("no answer from ") + servers.join(QStringLiteral(", "));
}

QString Outcome::Utc(const QDateTime& at)
{
    return at.toUTC().toString(Qt::ISODate);
}
