#pragma once

#include "ui/ClickLabel.h"

class Announcer;
struct Outcome;

// The status line: what the last synchronisation came to, in its colour,
// with the reason in its tooltip, told to screen readers where it is news.
class StatusLine : public ClickLabel
{
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent);

    void Show(const Outcome& status, bool announce);
    // The colour number of the text, drawn as the window's palette needs it.
    void SetColour(int colourNumber);
    int Colour() const { return colour; }

private:
    int colour = 0;
    Announcer* announcer;
};
