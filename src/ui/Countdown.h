#pragma once

#include <QtGlobal>

class QLabel;
class QTimer;

// The auto-close countdown: the seconds left shown in their line, one tick a
// second, until the program may end. Whatever ends it, an outcome stays on
// screen for three of its seconds.
class Countdown
{
public:
    // timer ticks every second; line shows the count.
    Countdown(QTimer& timer, QLabel& line);

    qint16 AutoCloseCount = 0;

    // Lowers the count and shows it; true when it has run out and the program
    // may end. One that runs out while an outcome is still to come waits for
    // it.
    bool Tick(bool outcomePending);
    // Stops for good, and says so.
    void Stop();
    // An outcome has just been shown: one that would go in less than three
    // seconds, or that the countdown waited for, gets three.
    void KeepReadable();

    static constexpr int ReadableSecs = 3;

private:
    void Show();

    QTimer& timer;
    QLabel& line;
    bool waited = false;
};
