#include "ui/ServerBox.h"

#include "ui/ColourRules.h"

#include <QLabel>

ServerBox::ServerBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
    QPalette colours = palette();
    for (const auto role : {QPalette::Base, QPalette::Button})
        colours.setColor(role, ColourRules::FromColourNumber(ColourRules::White));
    for (const auto role : {QPalette::Text, QPalette::ButtonText})
        colours.setColor(role, ColourRules::FromColourNumber(ColourRules::Black));
    setPalette(colours);
    // Screen readers on Linux name a list by the label it is the buddy of,
    // never by an accessible name; the window shows no such label.
    auto* name = new QLabel(QStringLiteral("Time server"), parent);
    name->setBuddy(this);
    name->hide();
    setAccessibleDescription(QStringLiteral("The time server to ask"));
}
