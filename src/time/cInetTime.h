#pragma once

#include "platform/PlatformResult.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

class Clock;
class ClockSetter;
class QEventLoop;
class QHostInfo;
class QTcpSocket;
class TimeZone;
class frmWinsock;

// One Time Protocol (RFC 868) query against one server: connect to TCP port
// 37 of the first of its addresses that answers, take the four bytes the
// server sends, convert them to local time and set the clock when it differs.
// One object serves one query.
class cInetTime : public QObject
{
    Q_OBJECT
    // Sweeps every time zone through the conversion, without a socket.
    friend class tst_Quorvane;

public:
    cInetTime(const Clock& clock, const TimeZone& zone, ClockSetter& setter);
    ~cInetTime() override;

    // -1 once the socket has reported an error, else 0.
    qint16 ErrorCheck() const { return m_ErrorCheck; }
    // 0 when the PC clock agreed with the server's second at some instant
    // between the connection and the reply; else the best estimate of the
    // true time (the instant the clock is set to), as local time, minus the
    // PC clock at that moment, to the nearest whole second.
    qint32 AdjustedSecs() const { return m_AdjustedSecs; }
    // The server's time as a local date value.
    double ReturnedDate() const { return m_ReturnedDate; }
    void setTimeServer(const QString& name) { TimeServer = name; }

    // Queries the server and returns when the reply has been handled or the
    // wait has ended; the outcome is read from the accessors.
    void SetTime();

    // Whether a whole reply arrived and was converted.
    bool Replied() const { return m_Replied; }
    // Whether a reply arrived that cannot be a time near the PC's.
    bool BadReply() const { return m_BadReply; }
    // What the system said when asked to set the clock.
    const PlatformResult& ClockResult() const { return m_ClockResult; }
    // Whether the system has yet to answer the request to set the clock.
    bool SettingClock() const { return m_SettingClock; }
    // When a connection to the server was made, on the wait clock; none when
    // no address connected.
    std::optional<double> ConnectedAt() const
    {
        return oWinsock ? std::optional(connectedAt) : std::nullopt;
    }

    // How far a query got, for a caller that waits for the network to come up.
    enum class Reach {
        Answer,      // something definite: a reply, a refusal, a name that does not exist
        NetworkDown, // no resolver or no route could be reached: nothing reached a server
        Nothing,     // no address connected before the deadline
    };
    Reach Reached() const { return reach; }
    // For a caller that tries again once the network is up: a query that
    // finds it down then ends at once instead of at the deadline.
    void setRetrying(bool on) { retrying = on; }

    static constexpr quint16 RemotePort = 37;
    // How long an address may take to connect before the next one is tried
    // beside it (RFC 8305).
    static constexpr int StaggerMs = 250;

private slots:
    void oWinsock_Resolved(const QHostInfo& host);
    void oWinsock_DataArrival();

private:
    void ConnectNext();
    void oWinsock_Connect(QTcpSocket* socket);
    void oWinsock_Error(QTcpSocket* socket, QAbstractSocket::SocketError error);
    void Fail(Reach why);
    void WaitForReply();
    void Convert(quint32 word);
    // count: seconds since 1900 in the era that holds the present; since: the
    // reply's travel and the time since it arrived, as Convert measured them.
    void SetClock(qint64 count, double since);

    const Clock& clock;
    const TimeZone& zone;
    ClockSetter& setter;

    std::unique_ptr<frmWinsock> oHostForm;
    QString TimeServer;
    double m_ReturnedDate = 0;
    qint32 m_AdjustedSecs = 0;
    qint32 TimeoutSecs = 0;
    qint32 ReplyValue = 0;
    qint16 m_ErrorCheck = 0;
    // The socket that connected first; the others are closed then.
    QTcpSocket* oWinsock = nullptr;

    // The server's addresses in the order they are tried, how many have been
    // tried and how many failed, and whether every failure was for want of a
    // route; the next address starts when the last has not connected in time.
    QList<QHostAddress> addresses;
    qsizetype tried = 0;
    qsizetype failed = 0;
    bool unreachable = true;
    QTimer stagger;
    Reach reach = Reach::Nothing;
    bool retrying = false;

    bool m_Replied = false;
    bool m_BadReply = false;
    bool m_SettingClock = false;
    // When the connection was made and the reply arrived, on the wait clock.
    double connectedAt = 0;
    double arrivedAt = 0;
    PlatformResult m_ClockResult;
    // The loop WaitForReply sleeps in, while it runs.
    QEventLoop* replyWait = nullptr;
};
