#pragma once

#include "platform/NetworkMonitor.h"

// NetworkManager's global state, read from the system bus. Read directly
// rather than through QNetworkInformation, which reports "connecting" as
// Unknown, the same as having no monitor at all.
class NetworkManagerMonitor : public NetworkMonitor
{
    Q_OBJECT
public:
    void Watch() override;
    State Connection() const override { return state; }

private slots:
    void StateChanged(uint managerState);

private:
    State state = State::Unknown;
    bool watching = false;
};
