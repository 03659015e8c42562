#pragma once

#include "platform/Program.h"

// A program file at a path the test chooses; End() is counted, not obeyed.
class FakeProgram : public Program
{
public:
    QString FileTitle() const override { return title; }
    QString Folder() const override { return folder; }
    QString FilePath() const override { return folder + QLatin1Char('/') + title; }
    void End() override { ++ended; }

    QString title = QStringLiteral("quorvane");
    QString folder = QStringLiteral("/opt/quorvane/bin");
    int ended = 0;
};
