#pragma once

#include "platform/Journal.h"

// Standard error, which a desktop session keeps in the user's journal.
class StderrJournal : public Journal
{
public:
    void Write(const QString& line) override;
};
