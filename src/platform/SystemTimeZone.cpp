#include "platform/SystemTimeZone.h"

#include <QDateTime>
#include <QTimeZone>

qint32 SystemTimeZone::GetTimeZoneInformation(TimeZoneInformation& info) const
{
    return Query(QTimeZone::systemTimeZone(), QDateTime::currentDateTimeUtc(), info);
}

qint32 SystemTimeZone::Query(const QTimeZone& zone, const QDateTime& at, TimeZoneInformation& info)
{
    if (!zone.isValid())
        return Invalid;
    info.Bias = -zone.standardTimeOffset(at) / 60;
    info.StandardBias = 0;
    if (zone.isDaylightTime(at)) {
        info.DaylightBias = -zone.daylightTimeOffset(at) / 60;
        return DaylightTime;
    }
    // A zone "has a daylight-saving rule" when it will switch to daylight time
    // within the coming year; zones that kept it only in the past do not.
    const QTimeZone::OffsetData next = zone.nextTransition(at);
    if (next.atUtc.isValid() && at.daysTo(next.atUtc) <= 366 && next.daylightTimeOffset != 0) {
        info.DaylightBias = -next.daylightTimeOffset / 60;
        return StandardTime;
    }
    info.DaylightBias = 0;
    return NoDaylightRule;
}
