#pragma once

#include "platform/PlatformResult.h"

#include <QString>

// The desktop's notifications: a message that stays after the program has
// ended, for whoever was not at the machine.
class Notifier
{
public:
    virtual ~Notifier() = default;

    // Returns once the desktop has taken the notification, or after a short
    // while without an answer, so that the program may end right after.
    virtual PlatformResult Notify(const QString& summary, const QString& body) = 0;
};
