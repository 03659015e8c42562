#include "ui/Countdown.h"

#include <QLabel>
#include <QTimer>

Countdown::Countdown(QTimer& timer, QLabel& line) : timer(timer), line(line) {}

bool Countdown::Tick(bool outcomePending)
{
    --AutoCloseCount;
    Show();
    if (AutoCloseCount != 0)
        return false;
    // Ending now would leave the outcome untold, and whoever typed a password
    // for the clock would never see whether it worked: end once it is shown.
    if (outcomePending) {
        timer.stop();
        waited = true;
        return false;
    }
    return true;
}

void Countdown::Stop()
{
    timer.stop();
    waited = false;
    line.setText(QStringLiteral(" Auto Close Stopped."));
}

void Countdown::KeepReadable()
{
    const bool tooSoon =
        timer.isActive() &&
        timer.remainingTime() + (AutoCloseCount - 1) * timer.interval() < ReadableSecs * 1000;
    if (!waited && !tooSoon)
        return;
    waited = false;
    AutoCloseCount = ReadableSecs;
    Show();
    timer.start();
}

void Countdown::Show()
{
    line.setText(QStringLiteral("Auto Close ") + QString::number(AutoCloseCount) +
                 QStringLiteral(" seconds."));
}
