#pragma once

#include "platform/Notifier.h"

// org.freedesktop.Notifications on the session bus, which every desktop's
// notification service answers.
class LinuxNotifier : public Notifier
{
public:
    PlatformResult Notify(const QString& summary, const QString& body) override;

    // How long the program's end may wait for the service.
    static constexpr int TimeoutMs = 1000;
};
