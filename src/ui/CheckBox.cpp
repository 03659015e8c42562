#include "ui/CheckBox.h"

CheckBox::CheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {}

Qt::CheckState CheckBox::ToCheckState(int value)
{
    switch (value) {
    case Checked:
        return Qt::Checked;
    case Greyed:
        return Qt::PartiallyChecked;
    default:
        return Qt::Unchecked;
    }
}

int CheckBox::FromCheckState(Qt::CheckState state)
{
    switch (state) {
    case Qt::Checked:
        return Checked;
    case Qt::PartiallyChecked:
        return Greyed;
    default:
        return Cleared;
    }
}

int CheckBox::Value() const
{
    return FromCheckState(checkState());
}

void CheckBox::setValue(int value)
{
    if (value < Cleared || value > Greyed)
        return;
    setCheckState(ToCheckState(value));
}

void CheckBox::nextCheckState()
{
    setValue(Value() == Checked ? Cleared : Checked);
}
