#pragma once

#include <QString>

// The running program itself.
class Program
{
public:
    virtual ~Program() = default;

    // The program file's name without its extension.
    virtual QString FileTitle() const = 0;

    // The program file's absolute path.
    virtual QString FilePath() const = 0;

    // Ends the program at once: no further event is delivered and nothing
    // that was interrupted resumes. Only test doubles return.
    virtual void End() = 0;
};
