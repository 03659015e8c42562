#pragma once

#include <QAbstractSocket>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

class Clock;
class QHostInfo;
class QTcpSocket;
class TimeZone;
class frmWinsock;

// One Time Protocol (RFC 868) query against one server: connect to TCP port
// 37 of the first of its addresses that answers, take the four bytes the
// server sends and convert them to local time. One object serves one query;
// whoever asked decides whether the clock is set from it.
class cInetTime : public QObject
{
    Q_OBJECT
    // Sweeps every time zone and every phase of the second through the
    // conversion, on a clock that stands still.
    friend class tst_Quorvane;

public:
    cInetTime(const Clock& clock, const TimeZone& zone);
    ~cInetTime() override;

    // -1 once the socket has reported an error, else 0.
    qint16 ErrorCheck() const { return m_ErrorCheck; }
    // 0 when the PC clock agreed with the server's second at some instant
    // between the connection and the reply; else the best estimate of the
    // true time, as local time, minus the PC clock, to the nearest second.
    qint32 AdjustedSecs() const { return m_AdjustedSecs; }
    // The server's time as a local date value.
    double ReturnedDate() const { return m_ReturnedDate; }
    void setTimeServer(const QString& name) { TimeServer = name; }
    const QString& Server() const { return TimeServer; }

    // Connects and waits, sleeping in the event loop, for the reply:
    // ReplyHandled() follows when one has been converted, WaitOver() when the
    // wait has ended.
    void SetTime();
    bool Waiting() const { return waiting; }

    // Whether a whole reply arrived and reads as a time.
    bool Replied() const { return m_Replied; }
    // Whether a reply arrived that cannot be the time.
    bool BadReply() const { return m_BadReply; }
    // The instant the server's count stands for, in the era nearest this
    // release; invalid until a reply was read.
    const QDateTime& ServerTime() const { return serverTime; }
    // The best estimate of the true time at this moment, in microseconds
    // since 1970 UTC: the middle of the server's second, carried forward by
    // the reply's travel and the time since it arrived.
    qint64 Estimate() const;
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

    // The first moment of the day this version was released: no server's
    // time before it can be the time.
    static QDateTime Release();

    static constexpr quint16 RemotePort = 37;
    // How long an address may take to connect before the next one is tried
    // beside it (RFC 8305).
    static constexpr int StaggerMs = 250;

signals:
    void ReplyHandled();
    void WaitOver();

private slots:
    void oWinsock_Resolved(const QHostInfo& host);
    void oWinsock_DataArrival();

private:
    void ConnectNext();
    // asked: when that address was asked to connect, on the wait clock.
    void oWinsock_Connect(QTcpSocket* socket, double asked);
    void oWinsock_Error(QTcpSocket* socket, QAbstractSocket::SocketError error);
    void Fail(Reach why);
    void WaitForReply();
    // The value the wait tests: the zone's result code once a reply has been
    // converted, else 0. A zone without a daylight-saving rule answers 0, so
    // its wait runs on to the deadline.
    qint32 ReplyValue() const { return ZoneResult.value_or(0); }
    bool WaitMayEnd() const;
    void EndWaitIfDone();
    void Convert(quint32 word);
    // Seconds from the server's reading of its clock, as the estimate takes
    // it, until now.
    double Since() const;

    const Clock& clock;
    const TimeZone& zone;

    std::unique_ptr<frmWinsock> oHostForm;
    QString TimeServer;
    double m_ReturnedDate = 0;
    qint32 m_AdjustedSecs = 0;
    qint32 TimeoutSecs = 0;
    // The reply word in host order, and what the time-zone query answered.
    quint32 ReplyWord = 0;
    std::optional<qint32> ZoneResult;
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
    QTimer deadline;
    bool waiting = false;
    Reach reach = Reach::Nothing;
    bool retrying = false;

    bool m_Replied = false;
    bool m_BadReply = false;
    QDateTime serverTime;
    // On the wait clock: when the connection that was made was asked for
    // (the server read its clock after that, however late the handler ran),
    // when it was made, and when the reply arrived.
    double connectingAt = 0;
    double connectedAt = 0;
    double arrivedAt = 0;
};
