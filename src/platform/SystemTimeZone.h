#pragma once

#include "platform/TimeZone.h"

class QDateTime;
class QTimeZone;

// The system zone, as the TZ variable or /etc/localtime names it.
class SystemTimeZone : public TimeZone
{
public:
    qint32 GetTimeZoneInformation(TimeZoneInformation& info) const override;

    // The same answer for any zone at any instant.
    static qint32 Query(const QTimeZone& zone, const QDateTime& at, TimeZoneInformation& info);
};
