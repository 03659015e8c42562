#pragma once

#include "platform/ClockSetter.h"

#include <QList>
#include <functional>

// Records each request instead of touching the clock.
class RecordingClockSetter : public ClockSetter
{
public:
    PlatformResult SetUtc(qint64 unixSeconds) override
    {
        requests.append(unixSeconds);
        if (onSet)
            onSet(unixSeconds);
        return answer;
    }

    QList<qint64> requests;
    PlatformResult answer;
    std::function<void(qint64)> onSet;
};
