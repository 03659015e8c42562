#pragma once

#include <QString>

// The current user's list of programs to start at logon: named text values.
// Every operation returns 0 on success and a system error number otherwise.
class RunKey
{
public:
    virtual ~RunKey() = default;

    // 0 when a value of that name exists, whatever it holds.
    virtual int QueryValue(const QString& name) const = 0;

    // Creates the list if it is missing and makes sure it can be written.
    virtual int CreateKey() = 0;

    // Creates or replaces the value; data is the program's absolute path.
    virtual int SetValue(const QString& name, const QString& data) = 0;

    virtual int DeleteValue(const QString& name) = 0;
};
