#pragma once

#include "platform/NetworkMonitor.h"

#include <QString>

// NetworkManager's global state, read from the system bus. Read directly
// rather than through QNetworkInformation, which tells "connecting" apart
// from neither "connected" nor having no monitor at all.
class NetworkManagerMonitor : public NetworkMonitor
{
    Q_OBJECT
public:
    // busAddress empty: the system bus.
    explicit NetworkManagerMonitor(const QString& busAddress = {});

    void Watch() override;
    State Connection() const override { return state; }

private slots:
    void StateChanged(uint managerState);

private:
    QString busAddress;
    State state = State::Unknown;
    bool watching = false;
};
