#pragma once

#include <QString>

// A modal message with an OK button only, no icon, titled with the program's name.
class MessageBox
{
public:
    virtual ~MessageBox() = default;
    virtual void Show(const QString& text) = 0;
};
