#pragma once

#include <QObject>

// One window per user session: the first copy of the program holds it, and a
// later start hands over to that copy instead of opening a window of its own.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Start {
        First,      // this copy holds the window; ShowRequested tells of later starts
        Alone,      // nothing to share the window through: this copy runs on its own
        HandedOver, // another copy holds the window and was asked to show it
    };

    // Claims the session's window for this copy, or hands over to the copy
    // that holds it.
    virtual Start Claim() = 0;

signals:
    // A later start asks for the window.
    void ShowRequested();
};
