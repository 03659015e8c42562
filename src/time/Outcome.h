#pragma once

#include <QString>
#include <QStringList>

class QDateTime;
class cInetTime;

// What a synchronisation came to, worded as the status line says it: its
// text, its colour number and, where there is more to say, the reason its
// tooltip gives; the server asked, and what only the journal adds. The status
// line, the journal, screen readers and an unattended failure's notification
// all tell the same.
struct Outcome {
    static constexpr int Black = 0;
    static constexpr int Red = 255;

    QString text;
    int colour = Black;
    QString reason{};
    QString server{};
    QString note{};

    bool Failed() const { return colour != Black; }
    QString Server() const { return server.isEmpty() ? QStringLiteral("(no server)") : server; }
    // The text and the reason in one line, as it is heard.
    QString Said() const;
    // The server, the text, the reason and the note, as the journal keeps it.
    QString JournalLine() const;
    // The text, the server and the reason, as the desktop keeps a failure.
    QString NotificationBody() const;

    static Outcome NotFound(const QString& reason = {});
    static Outcome NoReply();
    static Outcome BadReply(const QString& reason = {});
    static Outcome Adjusted(qint32 secs);
    // The server answered, but the clock was not set, for that reason.
    static Outcome NotSet(qint32 secs, const QString& why);
    // What one query came to, were the clock set from it.
    static Outcome Of(const cInetTime& query);

    // Why a large step was not taken: the two servers' times differ, or no
    // second server answered.
    static QString Disagreement(const cInetTime& one, const cInetTime& other);
    static QString Unconfirmed(qint32 secs, const QStringList& silent);
    static QString Silent(const QStringList& servers);
    // A time as the journal and the tooltip give it: UTC, ISO 8601.
    static QString Utc(const QDateTime& at);
};
