#pragma once

#include <QObject>

// What the system says of the network connection. Only a hint, since monitors
// can be wrong: it may make a retry come sooner, never hold an attempt back.
class NetworkMonitor : public QObject
{
    Q_OBJECT
public:
    enum class State { Unknown, Down, Up };

    // Starts listening to the system; until it has answered, the state is
    // Unknown, as it stays where no monitor runs.
    virtual void Watch() = 0;

    // Down: no connection, or one still being made.
    virtual State Connection() const = 0;

signals:
    void Changed();
};
