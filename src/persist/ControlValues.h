#pragma once

#include <QList>
#include <QString>

class QObject;

// Keeps the values of a window's value-bearing controls between runs.
//
// Controls are walked in creation order and told apart only by their kind
// (the "Kind" property) and name; the value of a control is its USER property.
// A control of a control array carries an "Index" property.
class ControlValues
{
public:
    // settingsFile empty: the user's configuration folder
    // ($XDG_CONFIG_HOME/Quorvane/SaveFormSettings.ini).
    explicit ControlValues(const QString& settingsFile = {});

    static QString ControlKeyName(const QObject* control);

    // Puts back each stored value the control accepts; anything unreadable or
    // refused leaves the control as it is.
    void RestoreControlValues(const QList<QObject*>& controls) const;

    // Stores every value; a store that cannot be written is left as it was.
    void SaveControlValues(const QList<QObject*>& controls) const;

    static const QStringList& SkippedControlKinds();

private:
    static bool IsSkipped(const QObject* control);

    QString settingsFile;
};
