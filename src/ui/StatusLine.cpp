#include "ui/StatusLine.h"

#include "time/Outcome.h"
#include "ui/Announcer.h"
#include "ui/ColourRules.h"

StatusLine::StatusLine(QWidget* parent) : ClickLabel(parent), announcer(new Announcer(this))
{
    setAccessibleDescription(QStringLiteral("The outcome of the last synchronisation"));
}

void StatusLine::Show(const Outcome& status, bool announce)
{
    SetColour(status.colour);
    setText(status.text);
    setToolTip(status.reason);
    if (announce)
        announcer->Announce(status.Said(), status.Failed());
}

void StatusLine::SetColour(int colourNumber)
{
    colour = colourNumber;
    SetTextColour(ColourRules::Shown(colour, window()->palette()));
}
