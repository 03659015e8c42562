#pragma once

#include <QObject>

// Tells when the program must end although nobody closed its window: the
// desktop session is ending, or a signal asks the program to stop.
class SessionEnd : public QObject
{
    Q_OBJECT
signals:
    void Ending();
};
