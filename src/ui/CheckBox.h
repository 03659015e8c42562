#pragma once

#include <QCheckBox>

// A check box whose value is 0 cleared, 1 checked or 2 greyed. Greyed is set
// only by the program; a user's click toggles between cleared and checked.
class CheckBox : public QCheckBox
{
    Q_OBJECT
    // The value that is stored between runs.
    Q_PROPERTY(int Value READ Value WRITE setValue USER true)
public:
    enum : int { Cleared = 0, Checked = 1, Greyed = 2 };

    explicit CheckBox(const QString& caption, QWidget* parent = nullptr);

    int Value() const;
    // Values other than 0, 1 and 2 are refused and leave the box as it is.
    void setValue(int value);

    // The one place where box values and Qt's check states meet.
    static Qt::CheckState ToCheckState(int value);
    static int FromCheckState(Qt::CheckState state);

signals:
    // With every change of the value, the program's own too.
    void Click();

protected:
    void nextCheckState() override;
};
