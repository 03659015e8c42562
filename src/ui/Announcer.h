#pragma once

#include <QWidget>

// Tells screen readers what a control now says without moving the focus to
// it: they stay silent when an unfocused label changes its text. From Qt 6.8
// on this is an announcement; before, a notification object of the window is
// shown with the message, which screen readers speak as it appears.
class Announcer : public QWidget
{
    Q_OBJECT
public:
    // source: the control whose text is told.
    explicit Announcer(QWidget* source);

    // assertive: at once, interrupting; else once the reader is idle.
    void Announce(const QString& message, bool assertive);

private:
    QWidget* source;
};
