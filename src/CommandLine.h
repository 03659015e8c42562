#pragma once

#include <QStringList>
#include <optional>

// The program's options, --help and --version; any other argument is a
// mistake. Qt takes its own options (-platform, -style ...) out of the
// arguments when the application object is made.
class CommandLine
{
public:
    // Before the application object exists, so that help and version need no
    // display: prints them and returns the exit status when one is asked for.
    static std::optional<int> Answer(int argc, char* argv[]);

    // Once Qt has taken its options: an argument left over is named on
    // standard error, and the exit status 2 returned.
    static std::optional<int> Reject(const QStringList& arguments);
};
