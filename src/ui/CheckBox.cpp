#include "ui/CheckBox.h"

CheckBox::CheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    connect(this, &QCheckBox::checkStateChanged, this, &CheckBox::Click);
#else
    connect(this, &QCheckBox::stateChanged, this, &CheckBox::Click);
#endif
}

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
