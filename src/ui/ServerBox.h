#pragma once

#include <QComboBox>

// The server list: a list to pick from, without an edit field, black on
// white under any theme, and named for screen readers.
class ServerBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ServerBox(QWidget* parent);
};
