#pragma once

#include <QtGlobal>

// Offsets in minutes, with UTC = local time + bias.
struct TimeZoneInformation {
    qint32 Bias = 0;
    qint32 StandardBias = 0;
    qint32 DaylightBias = 0;
};

// The system's time zone as the reply conversion needs it.
class TimeZone
{
public:
    enum Result : qint32 {
        NoDaylightRule = 0,
        StandardTime = 1,
        DaylightTime = 2,
        Invalid = -1,
    };

    virtual ~TimeZone() = default;

    // Fills info and returns one of Result for the present moment.
    virtual qint32 GetTimeZoneInformation(TimeZoneInformation& info) const = 0;
};
