#include "time/cInetTime.h"

#include "platform/Clock.h"
#include "platform/TimeZone.h"
#include "time/frmWinsock.h"

#include <QHostInfo>
#include <QTcpSocket>
#include <QTimeZone>
#include <QtEndian>
#include <cmath>
#include <limits>

namespace
{
// Seconds from 1 January 1900 to 1 January 1970, both UTC.
constexpr qint64 UnixEpochInTimeProtocol = 2208988800LL;
// The count wraps to 0 every 2^32 seconds, first on 7 February 2036.
constexpr qint64 CountsPerEra = qint64(1) << 32;
constexpr double TwoDays = 172800;
// 1 January 1900 00:00:00 as a date value: counted, never read as local time,
// which in some zones skipped that very moment.
constexpr double Jan1900 = 2;
constexpr double SecondsPerDay = 86400;

// The resolver's order, with the two families taking turns from the first
// address's on (RFC 8305, section 4).
QList<QHostAddress> Interleaved(const QList<QHostAddress>& resolved)
{
    QList<QHostAddress> first, other;
    for (const QHostAddress& address : resolved)
        (address.protocol() == resolved.constFirst().protocol() ? first : other).append(address);
    QList<QHostAddress> turns;
    for (qsizetype i = 0; i < qMax(first.size(), other.size()); ++i) {
        if (i < first.size())
            turns.append(first.at(i));
        if (i < other.size())
            turns.append(other.at(i));
    }
    return turns;
}
} // namespace

cInetTime::cInetTime(const Clock& clock, const TimeZone& zone) : clock(clock), zone(zone)
{
    oHostForm = std::make_unique<frmWinsock>();
    stagger.setSingleShot(true);
    stagger.setTimerType(Qt::PreciseTimer);
    connect(&stagger, &QTimer::timeout, this, &cInetTime::ConnectNext);
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, this, &cInetTime::EndWaitIfDone);
    TimeoutSecs = 5;
    m_ErrorCheck = 0;
}

cInetTime::~cInetTime()
{
    // Sockets report as they are torn down: no longer to this object.
    for (qsizetype i = 0; i < tried; ++i)
        oHostForm->Winsock1(i)->disconnect(this);
    oWinsock = nullptr;
    oHostForm.reset();
}

QDateTime cInetTime::Release()
{
    return QDateTime(QDate::fromString(QStringLiteral(QUORVANE_RELEASE_DATE), Qt::ISODate),
                     QTime(0, 0), QTimeZone::utc());
}

void cInetTime::SetTime()
{
    // The name is resolved once; its addresses are then tried in turn.
    QHostInfo::lookupHost(TimeServer, this, &cInetTime::oWinsock_Resolved);
    WaitForReply();
}

void cInetTime::WaitForReply()
{
    // Nothing turns here: the socket's and the window's events are handled
    // in the event loop as they come, and each one that may end the wait asks
    // whether it has.
    waiting = true;
    deadline.start(TimeoutSecs * 1000);
}

bool cInetTime::WaitMayEnd() const
{
    return !deadline.isActive() || ReplyValue() != 0 || (retrying && reach == Reach::NetworkDown);
}

void cInetTime::EndWaitIfDone()
{
    if (!waiting || !WaitMayEnd())
        return;
    waiting = false;
    deadline.stop();
    emit WaitOver();
}

void cInetTime::oWinsock_Resolved(const QHostInfo& host)
{
    // A resolver that cannot be reached fails for a reason that passes once
    // the network is up; a name that does not exist is an answer.
    if (host.error() != QHostInfo::NoError || host.addresses().isEmpty()) {
        Fail(host.error() == QHostInfo::HostNotFound ? Reach::Answer : Reach::NetworkDown);
        return;
    }
    addresses = Interleaved(host.addresses());
    ConnectNext();
}

void cInetTime::ConnectNext()
{
    if (oWinsock || tried == addresses.size())
        return;
    QTcpSocket* socket = oHostForm->Winsock1(tried);
    connect(socket, &QTcpSocket::connected, this,
            [this, socket, asked = clock.WaitClock()] { oWinsock_Connect(socket, asked); });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError error) { oWinsock_Error(socket, error); });
    socket->connectToHost(addresses.at(tried++), RemotePort);
    stagger.start(StaggerMs);
}

void cInetTime::oWinsock_Connect(QTcpSocket* socket, double asked)
{
    // The first connection made is the one asked; the others are dropped.
    connectedAt = clock.WaitClock();
    connectingAt = asked;
    reach = Reach::Answer;
    stagger.stop();
    oWinsock = socket;
    for (qsizetype i = 0; i < tried; ++i) {
        if (QTcpSocket* other = oHostForm->Winsock1(i); other != socket) {
            other->disconnect(this);
            other->abort();
        }
    }
    connect(oWinsock, &QTcpSocket::readyRead, this, &cInetTime::oWinsock_DataArrival);
}

void cInetTime::oWinsock_Error(QTcpSocket* socket, QAbstractSocket::SocketError error)
{
    if (socket != oWinsock) {
        // An address that fails hands over to the next at once; the query
        // fails when the last one has.
        unreachable = unreachable && error == QAbstractSocket::NetworkError;
        if (++failed == addresses.size())
            Fail(unreachable ? Reach::NetworkDown : Reach::Answer);
        else
            ConnectNext();
        return;
    }
    // The server closing after its reply, or without one, is how the protocol
    // ends; a missing reply is told apart by Replied().
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    m_ErrorCheck = -1;
    oWinsock->close();
}

void cInetTime::Fail(Reach why)
{
    m_ErrorCheck = -1;
    reach = why;
    EndWaitIfDone();
}

void cInetTime::oWinsock_DataArrival()
{
    // The word may come in pieces: wait until all four bytes are here.
    if (oWinsock->bytesAvailable() < 4)
        return;
    quint32 word = 0;
    oWinsock->read(reinterpret_cast<char*>(&word), sizeof word);
    arrivedAt = clock.WaitClock();
    oWinsock->close();
    Convert(qFromBigEndian(word));
    emit ReplyHandled();
    EndWaitIfDone();
}

void cInetTime::Convert(quint32 word)
{
    // The count is read in the era nearest the release, so a count that
    // wrapped in 2036 still reads right until 2094; the PC clock is not asked
    // which era it is, since a clock wrong by years would then be set wrong
    // by 136.
    ReplyWord = word;
    const qint64 release = Release().toSecsSinceEpoch() + UnixEpochInTimeProtocol;
    qint64 count = word;
    while (release - count > CountsPerEra / 2)
        count += CountsPerEra;
    serverTime = QDateTime::fromSecsSinceEpoch(count - UnixEpochInTimeProtocol, QTimeZone::utc());
    const double ServerSecs = static_cast<double>(count);

    TimeZoneInformation info{};
    ZoneResult = zone.GetTimeZoneInformation(info);

    qint32 bias = 0;
    bool overflow = __builtin_mul_overflow(info.Bias, 60, &bias);
    if (ZoneResult == TimeZone::DaylightTime) {
        qint32 daylight = 0;
        overflow = overflow || __builtin_mul_overflow(info.DaylightBias, 60, &daylight) ||
                   __builtin_add_overflow(daylight, bias, &bias);
    }
    if (overflow) {
        m_BadReply = true;
        return;
    }
    const double LocalSecs = ServerSecs - bias;

    // The server read its clock at some instant between the connection and
    // the reply's arrival, when the true time lay in [LocalSecs, LocalSecs + 1).
    // A PC clock that read such a time at some instant of that window, read
    // with its fraction, cannot be shown wrong: it reads 0 and is left alone.
    // Any other reads the best estimate of the true time minus the PC clock,
    // to the nearest second, which is then never 0.
    const double waitNow = clock.WaitClock();
    const double PcSecs = (clock.PreciseNow() - Jan1900) * SecondsPerDay;
    const bool consistent = PcSecs - (waitNow - arrivedAt) >= LocalSecs &&
                            PcSecs - (waitNow - connectingAt) < LocalSecs + 1;
    const double estimate = LocalSecs + 0.5 + Since();
    const double difference = consistent ? 0 : std::round(estimate - PcSecs);
    // Zero is the classic broken reply; a time before this version existed,
    // or more than about 68 years away, is no time either.
    if (word == 0 || serverTime < Release() || difference < std::numeric_limits<qint32>::min() ||
        difference > std::numeric_limits<qint32>::max()) {
        m_BadReply = true;
        return;
    }
    m_AdjustedSecs = static_cast<qint32>(difference);
    m_ReturnedDate = (LocalSecs + TwoDays) / SecondsPerDay;
    m_Replied = true;
}

double cInetTime::Since() const
{
    // The reply's travel, half the time from asking to connect to its arrival, and
    // the time since it arrived.
    return (arrivedAt - connectingAt) / 2 + (clock.WaitClock() - arrivedAt);
}

qint64 cInetTime::Estimate() const
{
    // The count is cut down to a whole second, so the true time lay in
    // [count, count + 1) when the server read it: the middle of that second,
    // carried forward.
    return serverTime.toSecsSinceEpoch() * 1000000 + std::llround((0.5 + Since()) * 1e6);
}
