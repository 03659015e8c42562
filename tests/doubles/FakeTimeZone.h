#pragma once

#include "platform/TimeZone.h"

class FakeTimeZone : public TimeZone
{
public:
    qint32 GetTimeZoneInformation(TimeZoneInformation& out) const override
    {
        out = info;
        return result;
    }

    qint32 result = StandardTime;
    TimeZoneInformation info;
};
