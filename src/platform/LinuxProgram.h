#pragma once

#include "platform/Program.h"

class LinuxProgram : public Program
{
public:
    QString FileTitle() const override;
    QString FilePath() const override;
    [[noreturn]] void End() override;
};
