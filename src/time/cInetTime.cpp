#include "time/cInetTime.h"

#include "platform/Clock.h"
#include "platform/ClockSetter.h"
#include "platform/TimeZone.h"
#include "time/frmWinsock.h"

#include <QEventLoop>
#include <QHostInfo>
#include <QTcpSocket>
#include <QtEndian>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{
// Seconds from 1 January 1900 to 1 January 1970, both UTC.
constexpr qint64 UnixEpochInTimeProtocol = 2208988800LL;
// The count wraps to 0 on 7 February 2036 06:28:16 UTC. It is read in the 136
// years that begin on 1 January 2000 00:00:00 UTC, so a count below that day's
// has wrapped: a PC clock that is years wrong cannot be trusted with the era.
constexpr quint32 EraStart = 3155673600U;
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

cInetTime::cInetTime(const Clock& clock, const TimeZone& zone, ClockSetter& setter)
    : clock(clock), zone(zone), setter(setter)
{
    oHostForm = std::make_unique<frmWinsock>();
    stagger.setSingleShot(true);
    stagger.setTimerType(Qt::PreciseTimer);
    connect(&stagger, &QTimer::timeout, this, &cInetTime::ConnectNext);
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

void cInetTime::SetTime()
{
    // The name is resolved once; its addresses are then tried in turn.
    QHostInfo::lookupHost(TimeServer, this, &cInetTime::oWinsock_Resolved);
    WaitForReply();
}

void cInetTime::WaitForReply()
{
    // Sleeps in a nested event loop, in which the socket's and the window's
    // events are handled as they come; a handled reply or the deadline ends
    // it, but never while the system still decides on setting the clock.
    const double start = clock.WaitClock();
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    replyWait = &loop;
    for (;;) {
        const double left = start + TimeoutSecs - clock.WaitClock();
        const bool retryNow = retrying && reach == Reach::NetworkDown;
        if (!m_SettingClock && (!(left > 0) || ReplyValue != 0 || retryNow))
            break;
        if (left > 0)
            deadline.start(static_cast<int>(std::ceil(left * 1000)));
        loop.exec();
    }
    replyWait = nullptr;
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
    connect(socket, &QTcpSocket::connected, this, [this, socket] { oWinsock_Connect(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError error) { oWinsock_Error(socket, error); });
    socket->connectToHost(addresses.at(tried++), RemotePort);
    stagger.start(StaggerMs);
}

void cInetTime::oWinsock_Connect(QTcpSocket* socket)
{
    // The first connection made is the one asked; the others are dropped.
    connectedAt = clock.WaitClock();
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
    if (replyWait)
        replyWait->quit();
}

void cInetTime::oWinsock_DataArrival()
{
    // The word may come in pieces: wait until all four bytes are here.
    if (oWinsock->bytesAvailable() < 4)
        return;
    char bytes[4];
    oWinsock->read(bytes, sizeof bytes);
    arrivedAt = clock.WaitClock();
    std::memcpy(&ReplyValue, bytes, sizeof ReplyValue);
    oWinsock->close();
    Convert(qFromBigEndian(static_cast<quint32>(ReplyValue)));
    if (ReplyValue != 0 && replyWait)
        replyWait->quit();
}

void cInetTime::Convert(quint32 word)
{
    const qint64 count = word < EraStart ? word + CountsPerEra : word;
    const double ServerSecs = static_cast<double>(count);

    TimeZoneInformation info{};
    ReplyValue = zone.GetTimeZoneInformation(info);

    qint32 bias = 0;
    bool overflow = __builtin_mul_overflow(info.Bias, 60, &bias);
    if (ReplyValue == TimeZone::DaylightTime) {
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
    // Any other reads the best estimate of the true time (the instant the
    // clock would be set to) minus the PC clock, to the nearest second, which
    // is then never 0.
    const double waitNow = clock.WaitClock();
    const double PcSecs = (clock.PreciseNow() - Jan1900) * SecondsPerDay;
    const bool consistent = PcSecs - (waitNow - arrivedAt) >= LocalSecs &&
                            PcSecs - (waitNow - connectedAt) < LocalSecs + 1;
    const double since = (arrivedAt - connectedAt) / 2 + (waitNow - arrivedAt);
    const double estimate = LocalSecs + 0.5 + since;
    const double difference = consistent ? 0 : std::round(estimate - PcSecs);
    if (word == 0 || difference < std::numeric_limits<qint32>::min() ||
        difference > std::numeric_limits<qint32>::max()) {
        // Zero is the classic broken reply; more than about 68 years away is
        // no time either.
        m_BadReply = true;
        return;
    }
    m_AdjustedSecs = static_cast<qint32>(difference);
    m_ReturnedDate = (LocalSecs + TwoDays) / SecondsPerDay;
    m_Replied = true;

    if (m_AdjustedSecs != 0)
        SetClock(count, since);
}

void cInetTime::SetClock(qint64 count, double since)
{
    // One setting of a UTC instant: no local-time text can land on the wrong
    // side of a daylight-saving change. The count is cut down to a whole
    // second, so the true time lay in [count, count + 1) when the server read
    // it: ask for the middle of that second, carried forward by the reply's
    // travel (half the time from connecting to its arrival) and by the time
    // since it arrived.
    const qint64 micro =
        (count - UnixEpochInTimeProtocol) * 1000000 + std::llround((0.5 + since) * 1e6);
    m_SettingClock = true;
    setter.SetUtc(micro, this, [this](const PlatformResult& result) {
        m_ClockResult = result;
        m_SettingClock = false;
        if (replyWait)
            replyWait->quit();
    });
}
