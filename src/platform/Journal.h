#pragma once

#include <QString>

// Where each synchronisation leaves one line, so that an unattended run can
// be read back after its window has closed.
class Journal
{
public:
    virtual ~Journal() = default;
    virtual void Write(const QString& line) = 0;
};
